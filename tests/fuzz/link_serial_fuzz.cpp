// Fuzz target for the serial receive forms: bytes cross a simulated null-modem cable into a serial link
// that takes them as binary messages, two-byte commands and text blocks, or raw bytes.
// Input: byte 0 picks the form (bits 0-1) and line errors to inject (bits 2-6); then chunks, each a
// length byte followed by that many bytes, each chunk written and polled before the next.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/link.h"
#include "link_serial.h"
#include "serial/serial_port.h"
#include "null_modem.h"

namespace {

LinkConnection* Receiver() {
  static LinkConnection* link = [] {
    null_modem::Install(0, 1);
    SerialPortOpen(-1, 1, 1);
    SerialPortOpen(0, 4000, 4000);
    LinkConnection* l = LinkCreate();
    if (LinkConnect(l, "serial", "COM2", 115200, 0) != 0) std::abort();
    return l;
  }();
  return link;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void Drain(LinkConnection* link) {
  uint8_t buffer[4096];
  for (int n = 0; n < 200; ++n) {
    const int got = LinkReceive(link, -1, buffer, sizeof buffer);
    Check(got >= 0 && got <= static_cast<int>(sizeof buffer));
    if (link->rawMode == 0 && got > 0) Check(got <= LinkMaxMessageLength && (buffer[2] | (buffer[3] << 8)) == got);
    Check(link->rawCount >= 0 && link->rawCount <= 4000 && link->blockLength <= 4000);
    if (got == 0 && LinkPending(link, -1) == 0) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  LinkConnection* link = Receiver();
  LinkFlush(link);
  const int form = data[0] & 3;
  LinkSetSerialModes(link, form == 1 ? 1 : 0, form >= 2 ? form - 1 : 0);
  link->errorTime = 0;
  size_t at = 1;
  while (at < size) {
    const size_t n = data[at++];
    const size_t take = n < size - at ? n : size - at;
    if (take > 0) SerialPortWrite(0, data + at, static_cast<int>(take));
    at += take;
    if (data[0] & 0x7C) null_modem::InjectErrors(1, (data[0] >> 2) & 31u);
    Drain(link);
  }
  return 0;
}
