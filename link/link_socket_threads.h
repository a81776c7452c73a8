// The link threads of socket links. A client connects with a non-blocking connect and reconnects after a
// loss; a server listens, accepts and announces itself while nobody is connected. Both receive into the
// record and queue what they receive.
#pragma once

#include "link/link.h"
#include "link_net.h"

// The threads' entry points; each runs until runFlag is cleared and clears threadRunning as its last act.
void LinkClientThread(LinkConnection* link);
void LinkServerThread(LinkConnection* link);

// Record event (code) with masks of the selected sockets: 1 connSocket, 16 tcpSocket, 256 udpSocket.
void LinkRecordSelect(LinkConnection* link, int code, const LinkNetSet* read, const LinkNetSet* write, bool writeUsed);
// Debug line naming the selected sockets ("Conn in ", "TCP out ", ...).
void LinkTraceSelect(LinkConnection* link, int result, bool writeUsed, const LinkNetSet* read, const LinkNetSet* write,
                     const char* label);
