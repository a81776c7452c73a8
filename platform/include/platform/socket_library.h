// The system's socket library, which Windows must start before any socket call (POSIX systems need no
// start). The one place that starts it: the link objects, the host lookups and toolboard's whole run all
// start it here. Starts are counted, so each start is ended by one stop.
#pragma once

// 0 when sockets can be used now, else the system's error code of the failed start.
int StartSocketLibrary();
// Ends one successful start.
void StopSocketLibrary();
