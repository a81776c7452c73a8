// The line operations of the public interface: modem lines, line errors and break on a serial link;
// a socket link answers them from its connection state. Also their handle forms.
#include "link/link.h"
#include "link/link_events.h"
#include "link_record.h"
#include "link_shared.h"
#include "serial/serial_port.h"

namespace {

// The serial port index of a registered serial link with an open port, else -1.
int OpenSerialPort(LinkConnection* link) { return link->kind != LinkKindSocket && link->comPort != 0 ? link->comPort - 1 : -1; }

int RecordLine(LinkConnection* link, int code, int result) {
  LinkRecordEvent(link, LinkDirectionReceive, code, static_cast<std::uint32_t>(link->comPort), 0,
                  static_cast<std::uint32_t>(result));
  return result;
}

int ModeLetter(int mode) { return mode == 1 ? 'S' : mode == 0 ? 'C' : 'R'; }

}  // namespace

int LinkPeerPresent(LinkConnection* link) {
  if (!LinkIsValid(link)) return 0;
  if (link->kind == LinkKindSocket) return LinkLoad(link->status);
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : SerialPortDsr(p);
}

int LinkCarrierDetect(LinkConnection* link) {
  if (!LinkIsValid(link)) return 0;
  if (link->kind == LinkKindSocket) return LinkLoad(link->status);
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : SerialPortRlsd(p);
}

int LinkClearToSend(LinkConnection* link) {
  if (!LinkIsValid(link)) return 0;
  if (link->kind == LinkKindSocket) return LinkLoad(link->status);
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : SerialPortCts(p);
}

int LinkRingIndicator(LinkConnection* link) {
  if (!LinkIsValid(link) || link->kind == LinkKindSocket) return 0;
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : SerialPortRing(p);
}

int LinkSetDtr(LinkConnection* link, int mode) {
  if (!LinkIsValid(link)) return 0;
  if (link->kind == LinkKindSocket) return LinkLoad(link->status);
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : RecordLine(link, LinkEventSerialDtr, SerialPortDtr(p, ModeLetter(mode)));
}

int LinkSetRts(LinkConnection* link, int mode) {
  if (!LinkIsValid(link) || link->kind == LinkKindSocket) return 0;
  const int p = OpenSerialPort(link);
  return p < 0 ? 0 : RecordLine(link, LinkEventSerialRts, SerialPortRts(p, ModeLetter(mode)));
}

int LinkLineStatus(LinkConnection* link, int selector) {
  if (!LinkIsValid(link)) return 0;
  if (link->kind == LinkKindSocket) {
    int listen = LinkLoad(link->listenState);
    return listen != LinkListening ? listen - 10 : static_cast<int>(LinkLoad(link->connValid));
  }
  const int p = OpenSerialPort(link);
  if (p < 0 || selector < 0 || selector > 4) return 0;
  return SerialPortErrors(p, 1 << selector);
}

int LinkSetBreak(LinkConnection* link, int mode) {
  if (!LinkIsValid(link) || link->kind == LinkKindSocket) return 0;
  const int p = OpenSerialPort(link);
  if (p < 0) return 0;
  return SerialPortBreak(p, mode > 0 ? 'A' : mode == 0 ? 'C' : 'D');
}

int LinkLineStatusByHandle(int handle, int selector) { return LinkLineStatus(LinkFromHandle(handle), selector); }
int LinkPeerPresentByHandle(int handle) { return LinkPeerPresent(LinkFromHandle(handle)); }
int LinkCarrierDetectByHandle(int handle) { return LinkCarrierDetect(LinkFromHandle(handle)); }
int LinkClearToSendByHandle(int handle) { return LinkClearToSend(LinkFromHandle(handle)); }
int LinkRingIndicatorByHandle(int handle) { return LinkRingIndicator(LinkFromHandle(handle)); }
int LinkSetDtrByHandle(int handle, int mode) { return LinkSetDtr(LinkFromHandle(handle), mode); }
int LinkSetRtsByHandle(int handle, int mode) { return LinkSetRts(LinkFromHandle(handle), mode); }
int LinkSetBreakByHandle(int handle, int mode) { return LinkSetBreak(LinkFromHandle(handle), mode); }
