// COM numbering from links and from the machine's serial devices, and the exclusive open.
#include "platform/com_device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scratch_tree.h"
#include "test_environment.h"

namespace fs = std::filesystem;

class ComDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Dir("root/dosdevices");
    tree_.Dir("sys/class/tty");
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_ = ptsname(master_);
  }
  void TearDown() override { close(master_); }
  void LinkPort(int n, const std::string& target) { tree_.Link("root/dosdevices/com" + std::to_string(n), target); }
  void AddTty(const std::string& name, const char* type = nullptr) {
    tree_.Dir("sys/class/tty/" + name);
    if (type) tree_.Write("sys/class/tty/" + name + "/type", type + std::string("\n"));
  }
  ScratchTree tree_{"com_device"};
  const fs::path base_{tree_.Root()};
  ScopedEnv root_{"TAVIK_ROOT", tree_.Path("root")}, sysfs_{"TAVIK_SYSFS", tree_.Path("sys")};
  const int master_ = posix_openpt(O_RDWR | O_NOCTTY);
  std::string slave_;
};

TEST_F(ComDeviceTest, LinksComeFirstAndDevicesFillTheFreeNumbersInOrder) {
  LinkPort(1, slave_);
  AddTty("ttyS1", "4");
  AddTty("ttyS0", "4");
  AddTty("ttyS2", "0");  // a placeholder the serial core found no UART behind
  AddTty("ttyUSB0");
  AddTty("ttyACM0");
  AddTty("tty5");
  const auto table = ComDeviceTable();
  ASSERT_GT(table.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(table.begin() + 1, table.begin() + 7),
            (std::vector<std::string>{slave_, "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyACM0", ""}));
  EXPECT_EQ(ComPortOfDevice("/dev/ttyUSB0"), 4);
  EXPECT_EQ(ComPortOfDevice(slave_), 1);
  EXPECT_EQ(ComPortOfDevice("/dev/ttyUSB7"), 0);
  EXPECT_EQ(ComDevicePath(0), "");
  EXPECT_EQ(ComDevicePath(33), "");
}

TEST_F(ComDeviceTest, NumbersAreSortedNumericallyNotByName) {
  AddTty("ttyUSB10");
  AddTty("ttyUSB2");
  auto table = ComDeviceTable();
  EXPECT_EQ(table[1], "/dev/ttyUSB2");
  EXPECT_EQ(table[2], "/dev/ttyUSB10");
}

TEST_F(ComDeviceTest, SecondOpenerFindsThePortBusyUntilTheFirstCloses) {
  LinkPort(2, slave_);
  ComOpenResult first = ComDeviceOpen(2);
  ASSERT_NE(first.handle, ComInvalidHandle) << first.osError;
  ComOpenResult second = ComDeviceOpen(2);
  EXPECT_EQ(second.handle, ComInvalidHandle);
  EXPECT_EQ(second.error, 5);
  ComDeviceClose(first.handle);
  ComOpenResult again = ComDeviceOpen(2);
  EXPECT_NE(again.handle, ComInvalidHandle);
  ComDeviceClose(again.handle);
}

TEST_F(ComDeviceTest, MissingPortsAreNotFound) {
  EXPECT_EQ(ComDeviceOpen(7).error, 2);
  LinkPort(3, (base_ / "nothing").string());
  EXPECT_EQ(ComDeviceOpen(3).error, 2);
  EXPECT_EQ(ComDeviceOpen(0).error, 2);
}

TEST_F(ComDeviceTest, AFileThatIsNoTerminalIsNoPort) {
  std::ofstream(base_ / "plain") << "x";
  LinkPort(4, (base_ / "plain").string());
  ComOpenResult result = ComDeviceOpen(4);
  EXPECT_EQ(result.handle, ComInvalidHandle);
  EXPECT_EQ(result.osError, ENOTTY);
}
