// The two kinds of link linkping tests, and the choice between them. A socket link opens after the
// address resolves as the game test resolves it; its reasons for never connecting come from the link's
// last failed connect. A serial link opens its COM port at the suite's game link speed.
#include "ping_target.h"

#include <cctype>
#include <utility>

#include "game_link.h"
#include "host_lookup.h"
#include "link/link.h"
#include "platform/com_device.h"
#include "serial/serial_port.h"

namespace {

constexpr int DisplayModeTwoComputers = 2;
constexpr int CommClassSerial = 0;
constexpr int ResolverTextSize = 1024;

// The platform errors of a COM port that did not open, in Win32's numbering.
constexpr int PortFileNotFound = 2;
constexpr int PortPathNotFound = 3;
constexpr int PortAccessDenied = 5;

// A socket client's last failed connect, in Winsock's numbering.
constexpr int ConnectNetworkDown = 10050;
constexpr int ConnectNetworkUnreachable = 10051;
constexpr int ConnectTimedOut = 10060;
constexpr int ConnectRefused = 10061;
constexpr int ConnectHostDown = 10064;
constexpr int ConnectHostUnreachable = 10065;

PingFailure Failure(const char* reason, std::string text) { return PingFailure{reason, std::move(text)}; }

bool OpenSocket(LinkConnection* link, const PingTarget& target, PingFailure& failure) {
  char words[ResolverTextSize] = "";
  if (CheckIpv4Address(target.address.c_str(), words, sizeof words) != 0) {
    failure = Failure("no such host", target.address + ": no such host (" + words + ")");
    return false;
  }
  int result = LinkConnect(link, "ethernet", target.address.c_str(), target.number, 0);
  if (result == LinkErrorUdpBind) {
    failure = Failure("port in use", "port in use: UDP port " + std::to_string(target.number) +
                                         " of this computer, which the link needs, is taken by another program");
  } else if (result != 0) {
    failure = Failure("open failed", "the link to " + DescribePingTarget(target) + " could not be opened (error " +
                                         std::to_string(result) + ")");
  }
  return result == 0;
}

bool SocketCarries(LinkConnection* link, bool&) { return LinkStatus(link) != 0; }

PingFailure SocketNeverCarried(LinkConnection* link, const PingTarget& target) {
  const std::string where = DescribePingTarget(target);
  switch (int error = LinkConnectError(link)) {
    case ConnectRefused:
      return Failure("refused", where + " refused the connection: nothing listens there (is the game menu running?)");
    case ConnectNetworkDown:
    case ConnectNetworkUnreachable:
    case ConnectHostDown:
    case ConnectHostUnreachable:
      return Failure("unreachable", target.address +
                                        " is unreachable: this computer has no way to it "
                                        "(is it on, and on this computer's network?)");
    case ConnectTimedOut:
      return Failure("unreachable", where +
                                        " is unreachable: the connection timed out (is it on, or does a "
                                        "firewall drop the connection?)");
    case 0:
      return Failure("not accepted", where +
                                         " never accepted the connection (is it on, or does a firewall "
                                         "drop the connection?)");
    default:
      return Failure("not accepted",
                     where + " never accepted the connection (socket error " + std::to_string(error) + ")");
  }
}

bool OpenSerial(LinkConnection* link, const PingTarget& target, PingFailure& failure) {
  if (LinkConnect(link, "serial", target.address.c_str(), target.number, 0) == 0) return true;
  char words[256] = "";
  const int error = SerialPortLastError(words, sizeof words);
  const std::string port = target.address;
  if (error == PortFileNotFound || error == PortPathNotFound)
    failure = Failure("no such port", port + ": no such port on this computer");
  else if (error == PortAccessDenied)
    failure =
        Failure("port in use", port + ": port in use by another program, or not open to this user (" + words + ")");
  else
    failure = Failure("open failed", port + " could not be opened (" + words + ")");
  return false;
}

bool SerialCarries(LinkConnection* link, bool& lineSeen) {
  const bool line = LinkPeerPresent(link) != 0;
  lineSeen = lineSeen || line;
  return LinkStatus(link) != 0 && (line || !lineSeen);
}

PingFailure SerialNeverCarried(LinkConnection*, const PingTarget& target) {
  return Failure("no answer", target.address + ": the game computer's line (DSR) went off before any request");
}

const PingLinkKind SocketKind{" port ", "", OpenSocket, SocketCarries, SocketNeverCarried};
const PingLinkKind SerialKind{" at ", " baud", OpenSerial, SerialCarries, SerialNeverCarried};

// Whether the address is "COM" (any case) and one to three digits, with their number.
bool IsComAddress(const std::string& address, int& number) {
  if (address.size() < 4 || address.size() > 6) return false;
  number = 0;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(address[i]);
    if (i < 3 ? std::toupper(c) != "COM"[i] : !std::isdigit(c)) return false;
    if (i >= 3) number = number * 10 + (c - '0');
  }
  return true;
}

bool ChooseSerial(int com, const PingOptions& options, PingTarget& target, PingFailure& failure) {
  target.address = "COM" + std::to_string(com);
  if (options.port != 0) {
    failure = Failure("settings", "--port is for socket links; " + target.address + " is a serial link");
    return false;
  }
  if (com < 1 || com > ComPortLimit) {
    failure = Failure("no such port", target.address + ": no such port (the COM ports are COM1 to COM32)");
    return false;
  }
  target.kind = &SerialKind;
  target.number = SerialGameBaud;
  return true;
}

bool ChooseFromSettings(const PingOptions& options, const DeviceSettings* found, PingTarget& target,
                        PingFailure& failure) {
  if (found == nullptr) {
    failure = Failure("settings",
                      "the suite's settings file DEVS.NIN is in neither PREFERENCES\\SETTINGS nor "
                      "BIN\\SETTINGS of the suite's folder; name an address or COMn to test a link");
    return false;
  }
  const DeviceSettings& settings = *found;
  if (settings.displayMode != DisplayModeTwoComputers) {
    failure = Failure("settings",
                      "DEVS.NIN sets up one computer (DisplayMode), whose game communications use "
                      "internal localhost; name an address to test a link");
    return false;
  }
  if (settings.commClass == CommClassSerial) {
    if (settings.gamePort != 0) return ChooseSerial(settings.gamePort, options, target, failure);
    failure = Failure("settings", "DEVS.NIN names no serial game port (Game_comm)");
    return false;
  }
  if (!settings.ethernetAddress || settings.ethernetAddress->empty()) {
    failure = Failure("settings", "DEVS.NIN names no game computer (EthernetAddress)");
    return false;
  }
  target.kind = &SocketKind;
  target.address = *settings.ethernetAddress;
  target.number = options.port != 0 ? options.port : settings.ethernetPort;
  if (target.number < 1 || target.number > PingHighestPort) {
    failure = Failure("settings", "DEVS.NIN names port " + std::to_string(target.number) +
                                      " (EthernetPort), which is no port the link can use");
    return false;
  }
  return true;
}

}  // namespace

std::string DescribePingTarget(const PingTarget& target) {
  return target.address + target.kind->numberBefore + std::to_string(target.number) + target.kind->numberAfter;
}

bool ChoosePingTarget(const PingOptions& options, const DeviceSettings* settings, PingTarget& target,
                      PingFailure& failure) {
  if (options.address.empty()) return ChooseFromSettings(options, settings, target, failure);
  int com = 0;
  if (IsComAddress(options.address, com)) return ChooseSerial(com, options, target, failure);
  target.kind = &SocketKind;
  target.address = options.address;
  target.number = options.port != 0 ? options.port : GameSocketPort;
  return true;
}
