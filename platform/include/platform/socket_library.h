// The sockets library that the host lookups rely on, started once for the program's whole run.
#pragma once

void StartSocketLibrary();
void StopSocketLibrary();
