// What makes a connection a socket link or a serial link: one table of operations per kind of transport.
// LinkConnect chooses the table once, by the kind of the request, and the registry keeps it with the
// object; every operation of the public interface then runs the table's own function. A new kind of link
// is a new table in a file of its own.
#pragma once

#include "link/link.h"

#include <cstdint>

// An entry left null is an operation the kind does not have: its public operation does nothing and
// returns 0. Every entry is called only for a registered object.
struct LinkTransport {
  // Opens the link after LinkConnect has set the flags: the kind's connect result (link.h).
  int (*open)(LinkConnection* link, const char* address, int portOrBaud);
  // Closes what an earlier open left behind (a thread, sockets, a port), before the object opens again.
  void (*closeEarlier)(LinkConnection* link);
  // LinkDisconnect's work and result.
  int (*close)(LinkConnection* link);

  // Sends a message that passed LinkSend's checks of the pointer and the length: LinkSend's result.
  int (*send)(LinkConnection* link, const std::uint8_t* message, int length);
  // Brings in what waits on the line before a question about the received data; null where a thread
  // of the link's own receives.
  void (*poll)(LinkConnection* link);
  // Raw mode: hands out up to size received bytes as they came (the count), or -1 while the link hands
  // out messages.
  int (*takeRaw)(LinkConnection* link, void* buffer, int size);
  // Raw mode: 1 when raw bytes wait, else 0; -1 while the link hands out messages.
  int (*rawPending)(LinkConnection* link);
  // Discards everything received and not yet taken.
  void (*flush)(LinkConnection* link);

  // The line operations, with the results of their public operations (link.h).
  int (*peerPresent)(LinkConnection* link);
  int (*carrierDetect)(LinkConnection* link);
  int (*clearToSend)(LinkConnection* link);
  int (*ringIndicator)(LinkConnection* link);
  int (*setDtr)(LinkConnection* link, int mode);
  int (*setRts)(LinkConnection* link, int mode);
  int (*setBreak)(LinkConnection* link, int mode);
  int (*lineStatus)(LinkConnection* link, int selector);

  // The serial forms: the two-byte command form in use (LinkGetShortFrames), the switch between the
  // forms at a baud rate (before LinkSerialMode stores the new form), the port reopened, and the errors
  // kept for LinkSerialErrors.
  int (*shortFrames)(LinkConnection* link);
  void (*switchForm)(LinkConnection* link, int shortFrames, int baud);
  void (*reopen)(LinkConnection* link);
  void (*errors)(LinkConnection* link, int* lastError, int* lineErrors, int* bytesWaiting);
};

// The two kinds: TCP with a companion UDP socket (link_socket.cpp) and a COM port (link_serial.cpp).
extern const LinkTransport LinkSocketTransport;
extern const LinkTransport LinkSerialTransport;

// The transport of a registered object: the one its last LinkConnect chose, the serial one (kind 0)
// until then; null for an object that is not registered. Takes the registry lock.
const LinkTransport* LinkTransportOf(LinkConnection* link);
// Keeps the transport with a registered object (LinkConnect, and tests that need a link of one kind
// without opening it); nothing for an object that is not registered.
void LinkSetTransport(LinkConnection* link, const LinkTransport* transport);

// Runs an operation of the object's transport: its result, or 0 for an object that is not registered
// and for an operation its kind does not have.
template <typename Operation, typename... Arguments>
int LinkTransportRun(LinkConnection* link, Operation LinkTransport::*operation, Arguments... arguments) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport == nullptr || transport->*operation == nullptr) return 0;
  return (transport->*operation)(link, arguments...);
}
