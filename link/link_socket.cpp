// Socket links: closing. With no link thread or sockets open yet, closing a socket link closes its
// record files.
#include "link/link_socket.h"

#include "link/link_record.h"

int LinkCloseSocket(LinkConnection* link) {
  if (!LinkIsValid(link)) return 1;
  LinkCloseRecords(link);
  return 0;
}
