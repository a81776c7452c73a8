// Start-up and clean-up of the platform's socket library, run when the first object is initialised and
// after the last is released.
#ifndef TAVIK_LINK_LINK_NETINIT_H
#define TAVIK_LINK_LINK_NETINIT_H

// True when the socket library is ready for use.
bool LinkNetStartup();
void LinkNetCleanup();

#endif
