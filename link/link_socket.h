// Socket links: a connection over a TCP connection with a companion UDP socket, served by a link thread of
// its own (link_socket_threads.h). Its transport (LinkSocketTransport) opens the ports, sockets and thread,
// sends by message class, restarts, closes, and answers the line operations from the link's state.
#pragma once

#include "link/link.h"
#include "link_net.h"
#include "link_socket_fields.h"

// Opens a socket link on a registered object: 0, the resolver's error code, or 2 to 5 and 9 as LinkConnect
// documents; 8 when the link thread could not be started. U = 0 means U = T, T = 0 means 5510.
int LinkOpenSocket(LinkConnection* link, const char* address, int tPort, int uPort);
// A new IPv4 socket of the type (LinkNetStream or LinkNetDatagram), or LinkNetInvalid when creation failed
// or took longer than 5000 ms.
LinkSocket LinkTrySocket(int type);
// Stops the link thread (at most ~600 ms plus one bounded wait), closes the sockets and the record files;
// 0, or 1 for an unregistered object.
int LinkCloseSocket(LinkConnection* link);
// Sends one message by its class: TCP, datagram or broadcast; 0 or the Winsock error of the send; 1 for
// an unregistered object.
int LinkSendSocket(LinkConnection* link, const void* message, int length);
// Reopens the link (mode 0: close first; other modes as (mode % 10) + 1 steps) and lets an unconnected
// client poke its server: 0, or the result of the step that failed; 1 for an unregistered object.
int LinkRestart(LinkConnection* link, int mode);
