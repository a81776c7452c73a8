// The joined pair on Windows: the two COM ports the test session names (tests/wine_session.sh relays two
// pseudo-terminals into each other with socat), read back through the comm API.
#include "serial_pair.h"

#include <windows.h>

#include "com_pair.h"
#include "platform/com_device.h"

namespace {
constexpr int ComLimit = 32;
}

struct SerialPair::Impl {
  ComPair pair;
  std::string missing;
};

SerialPair::SerialPair() : impl_(std::make_unique<Impl>()) {
  if (!FindComPair(impl_->pair))
    impl_->missing = kNoComPair;
  else if (!ComPairIsPseudoTerminals())
    impl_->missing = kNotPseudoTerminals;
}

SerialPair::~SerialPair() = default;
const std::string& SerialPair::Missing() const { return impl_->missing; }
int SerialPair::a() const { return impl_->pair.first - 1; }
int SerialPair::b() const { return impl_->pair.second - 1; }

int SerialPair::IndexWithoutDevice() const {
  for (int com = ComLimit; com > 0; --com)
    if (ComDevicePath(com).empty()) return com - 1;
  return -1;
}

// Windows lets one program at a time open a port, so the device is read after the driver closed it.
bool SerialPair::ReadDeviceLine(int index, DeviceLine& line) const {
  HANDLE h = CreateFileA(ComDeviceName(index + 1).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const bool ok = GetCommState(h, &dcb) != 0;
  CloseHandle(h);
  line.baud = dcb.BaudRate;
  line.twoStopBits = dcb.StopBits == TWOSTOPBITS;
  line.hardwareFlow = dcb.fOutxCtsFlow != 0;
  line.softwareFlow = dcb.fOutX && dcb.fInX;
  return ok;
}
