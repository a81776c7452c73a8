// The COM port scan and the COM device names on Windows, against ports the session maps to devices.
#include "sysutil/com_scan.h"

#include <gtest/gtest.h>

#include "com_pair.h"
#include "platform/com_device.h"

namespace {

TEST(ComDeviceWin32, NamesAreTheSystemsComDevices) {
  EXPECT_EQ(ComPortOfDevice("\\\\.\\COM5"), 5);
  EXPECT_EQ(ComPortOfDevice("com12"), 12);
  for (const char* notOne : {"COM5x", "COM 5", "COM33", "LPT1"}) EXPECT_EQ(ComPortOfDevice(notOne), 0) << notOne;
  EXPECT_EQ(ComDevicePath(0), "");
  EXPECT_EQ(ComDevicePath(33), "");
  EXPECT_EQ(ComDeviceOpen(33).error, 2);
}

using ComScanWin32 = ComPairTest;

TEST_F(ComScanWin32, MappedPortsHaveTheirDevices) {
  const std::vector<std::string> table = ComDeviceTable();
  ASSERT_EQ(table.size(), static_cast<size_t>(ComPortLimit + 1));
  EXPECT_EQ(table[pair.first], ComDevicePath(pair.first));
  EXPECT_EQ(ComPortOfDevice(table[pair.first]), pair.first);
  const ComOpenResult first = ComDeviceOpen(pair.first);
  ASSERT_NE(first.handle, ComInvalidHandle);
  EXPECT_EQ(first.error, 0);
  ComDeviceClose(first.handle);
  const ComOpenResult missing = ComDeviceOpen(MaxComPort + 1);
  EXPECT_EQ(missing.handle, ComInvalidHandle);
  EXPECT_EQ(missing.error, 2);
}

TEST_F(ComScanWin32, MappedPortsAreFoundFree) {
  ComPortTable scanned{};
  ScanComPorts(MaxComPort, scanned.data());
  EXPECT_EQ(scanned[pair.first], PortFree);
  EXPECT_EQ(scanned[pair.second], PortFree);
  EXPECT_GE(scanned[0], std::max(pair.first, pair.second));
  for (int n = 1; n <= MaxComPort; ++n)
    if (ComDevicePath(n).empty()) {
      EXPECT_EQ(scanned[n], PortAbsent) << "COM" << n;
    }
  EXPECT_TRUE(ComPortExists(scanned, pair.first));
  EXPECT_FALSE(ComPortExists(scanned, MaxComPort + 1));
  EXPECT_FALSE(ComPortExists(scanned, 0));
}

TEST_F(ComScanWin32, PortHeldOpenIsBusy) {
  if (!SystemKeepsComPortsExclusive(pair.first)) GTEST_SKIP() << kSharedComPorts;
  ASSERT_EQ(SerialPortOpen(a, 4000, 4000), 0);
  signed char table[MaxComPort + 1] = {};
  ScanComPorts(MaxComPort, table);
  EXPECT_EQ(table[pair.first], PortBusy);
  EXPECT_EQ(table[pair.second], PortFree);
}

}  // namespace
