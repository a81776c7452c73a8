// The link library's process-wide locks. Order, outermost first: registry, serial, queue, record, then the
// debug-output lock of the debug stream; no code takes them in another order.
#pragma once

#include <mutex>

// Guards the registry, the handle table and the object count; re-entrant because LinkRelease runs
// operations that look the object up again on the same thread.
std::recursive_mutex& LinkRegistryLock();
// Guards serial polling and the consumption of rawData.
std::mutex& LinkSerialLock();
// Guards the receive queues of all objects.
std::mutex& LinkQueueLock();
// Guards the record slot table, the log settings and every record write.
std::mutex& LinkRecordLock();
