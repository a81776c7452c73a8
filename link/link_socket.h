// Socket links: the operations the object layer calls on a connection of kind 1.
#ifndef TAVIK_LINK_LINK_SOCKET_H
#define TAVIK_LINK_LINK_SOCKET_H

#include "link/link.h"

// Stops the link thread, closes the sockets and the record files; 0, or 1 for an unregistered object.
int LinkCloseSocket(LinkConnection* link);

#endif
