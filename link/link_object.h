// The object layer's process-wide state, for the library's own modules and its tests.
#pragma once

// State held in link_object.cpp, all under the registry lock:
//  - the registry: 16 object pointers and the highest index in use; an object is valid while registered;
//  - the object count: objects initialised and not yet released (registered or not); the platform's
//    socket library runs while it is above 0, and the log settings become unread when it drops to 0;
//  - the set of those objects, so that only memory the library initialised is ever released;
//  - the handle table: 8 object pointers.

// The number of objects initialised and not yet released.
int LinkObjectCount();
// The highest registry index in use.
int LinkRegistryHighest();
// The registry index of an object, or -1 when it is not registered.
int LinkRegistryIndex(const void* link);
