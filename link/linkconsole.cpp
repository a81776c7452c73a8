// linkconsole: checks a link by hand between two computers. Started with one argument it is the slave
// (server role), with two the master (client role); keys send two test messages, reset the link or quit,
// and everything received is dumped in hexadecimal.
#include "console_keys.h"
#include "link/link.h"
#include "link_net.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int ConsolePort = 8881;
constexpr int ConsoleBaud = 115200;
constexpr int BufferSize = 1000;

struct Request {
  std::string kind;
  std::string address;
  int number;
  int flags;
  bool slave;
};

Request ChooseRequest(int argc, char** argv, const char* hostName) {
  Request r;
  r.slave = argc == 2;
  r.flags = r.slave ? LinkFlagServer : 0;
  const char* selection = argv[1];
  if (selection[0] == 's' || selection[0] == 'S') {
    r.kind = "serial";
    r.address = selection[1] != '\0' ? selection + 1 : "COM2";
    r.number = ConsoleBaud;
  } else {
    r.kind = "ethernet";
    r.address = r.slave ? std::string(hostName) : std::string(argv[2]).substr(0, 50);
    r.number = ConsolePort;
  }
  return r;
}

int Connect(LinkConnection* link, const Request& r) {
  return LinkConnect(link, r.kind.c_str(), r.address.c_str(), r.number, r.flags);
}

void SendTest(LinkConnection* link, int code, char letter) {
  unsigned char message[BufferSize];
  int length = LinkBuildMessage(link, message, sizeof message, code, 0, nullptr, 0);
  LinkSend(link, message, length);
  std::printf("\nsent %c\nwaiting for user input :", letter);
}

void Reset(LinkConnection* link, const Request& r) {
  std::printf("\nReset initiated\n");
  LinkDisconnect(link);
  int result = Connect(link, r);
  if (result != 0)
    std::printf(r.slave ? "Slave restart connection error : %d\n" : "Client restart connection error : %d\n", result);
}

void DumpReceived(const unsigned char* bytes, int n) {
  std::printf("received %d bytes\n", n);
  for (int i = 0; i < n; i++) {
    if (i > 0 && i % 4 == 0) std::printf("\n");
    std::printf(" %02x ", bytes[i]);
  }
  std::printf("\n");
}

// False once 'x' was pressed.
bool ActOnKey(LinkConnection* link, const Request& r, int key) {
  switch (key) {
    case 'u':
      SendTest(link, 153, 'U');
      break;
    case 't':
      SendTest(link, 130, 'T');
      break;
    case 'r':
      Reset(link, r);
      break;
    case 'x':
      return false;
    default:
      break;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("debug messages enabled\n");
  LinkConnection* link = LinkCreate();
  if (link == nullptr) {
    std::printf("Unable to start Winsock!!!!\n");
    return 4;
  }
  LinkSetClass(link, 144, 191, 1);
  char hostName[1001] = "";
  LinkNetHostName(hostName, sizeof hostName);
  std::printf("I am %.32s\n", hostName);
  if (argc < 2) {
    std::printf("need   s/e and id of slave\n");
    return 4;
  }
  Request request = ChooseRequest(argc, argv, hostName);
  int result = Connect(link, request);
  if (request.slave) {
    if (result != 0) std::printf("slave make connection error %d\n", result);
    std::printf("slave waiting\n");
  } else if (result != 0) {
    std::printf("master make connection error %d\n", result);
  }
  std::printf("\nwaiting for user input :");

  ConsoleKeysBegin();
  unsigned char received[BufferSize];
  for (;;) {
    int key = ConsoleKeyWait(1);
    if (key >= 0 && !ActOnKey(link, request, key)) break;
    int n = LinkReceive(link, -1, received, sizeof received);
    if (n != 0) DumpReceived(received, n);
  }
  ConsoleKeysEnd();
  std::printf("Disconnecting\n");
  LinkDisconnect(link);
  return 0;
}
