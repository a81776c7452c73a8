// Serial port driver behaviours of Windows alone, through the comm API on the session's two joined COM
// ports: a port another program holds, and the hardware handshake as the device control block keeps it.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com_pair.h"
#include "serial_pair.h"

namespace {

class SerialComPair : public ComPairTest {
 protected:
  void SetUp() override {
    ComPairTest::SetUp();
    SerialPortSetBaud(-1, 19200);
    SerialPortSetFormat(-1, 0, 0, 8);
    SerialPortOpen(-1, 0, 0);
  }
};

TEST_F(SerialComPair, PortHeldByAnotherProgramIsBusy) {
  if (!SystemKeepsComPortsExclusive(pair.first)) GTEST_SKIP() << kSharedComPorts;
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  HANDLE other = OpenComDevice(pair.first);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  ASSERT_EQ(SerialPortClose(a), 1);
  other = OpenComDevice(pair.first);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SerialPortOpen(a, 4000, 4000), SerialPortOpenFailed);
  char text[200] = "";
  const int error = SerialPortLastError(text, sizeof text);
  EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) << error;
  EXPECT_GT(std::string(text).size(), 0u);
  EXPECT_EQ(SerialPortRead(a, text, 10), SerialPortNotOpen);  // a failed open leaves the port closed
  CloseHandle(other);
  EXPECT_EQ(SerialPortOpen(a, 4000, 4000), 0);
}

// Hardware handshake needs RTS and CTS: a device without them may refuse it, but the port goes on.
TEST_F(SerialComPair, HardwareHandshakeHeldOrRefused) {
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  ASSERT_EQ(SerialPortOpen(b, 4000, 4000), 0);
  EXPECT_EQ(SerialPortSetHandshake(a, 'H'), 0);
  SerialPortClose(a);
  HANDLE h = OpenComDevice(pair.first);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommState(h, &dcb));
  CloseHandle(h);
  if (dcb.fOutxCtsFlow) {
    EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  }
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  const std::vector<uint8_t> out = Pattern(300, 11);
  EXPECT_EQ(SerialPortWrite(b, out.data(), 300), 300);
  EXPECT_EQ(ReadPort(a, out.size()), out);
}

}  // namespace
