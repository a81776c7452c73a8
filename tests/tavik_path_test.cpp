// The suite's Windows names on this machine: paths under the root (letter case, trailing dots, programs
// with and without ".exe"), and COM numbers from links and the machine's serial devices, opened exclusively.
#include "platform/com_device.h"
#include "platform/tavik_path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "probe_test_support.h"

namespace fs = std::filesystem;

class TavikPathTest : public ::testing::Test {
 protected:
  void SetUp() override { tree_.Write("GAMES/Reward.WAV", "x"); }
  ScratchTree tree_{"tavik_path"};
  const fs::path root_{tree_.Root()};
  ScopedEnv env_{"TAVIK_ROOT", tree_.Root()};
};

TEST_F(TavikPathTest, ComponentsMatchIgnoringCase) {
  EXPECT_EQ(TavikPath("C:\\Tavik\\Games\\reward.wav"), (root_ / "GAMES" / "Reward.WAV").string());
  EXPECT_EQ(TavikPath("c:\\TAVIK\\games\\REWARD.wav"), (root_ / "GAMES" / "Reward.WAV").string());
}

TEST_F(TavikPathTest, TrailingDotsAreDroppedAsWindowsDropsThem) {
  tree_.Write("BIN/tconfig", "x");
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "tconfig").string());
  tree_.Write("BIN/Tconfig.", "x");
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "Tconfig.").string()) << "the exact name first";
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\..."), (root_ / "BIN" / "...").string());
}

TEST_F(TavikPathTest, MissingComponentsStayAsGiven) {
  EXPECT_EQ(TavikPath("C:\\Tavik\\BIN\\Tconfig."), (root_ / "BIN" / "Tconfig.").string());
  EXPECT_EQ(TavikPath("C:\\Tavik\\games\\new.txt"), (root_ / "GAMES" / "new.txt").string());
}

TEST_F(TavikPathTest, OtherPathsOnlyChangeTheirSlashes) {
  EXPECT_EQ(TavikPath("C:\\Tavikish\\x"), "C:/Tavikish/x");
  EXPECT_EQ(TavikPath("..\\Signalbay\\a.exe"), "../Signalbay/a.exe");
}

TEST_F(TavikPathTest, RootDefaultsWhenUnset) {
  unsetenv("TAVIK_ROOT");
  EXPECT_EQ(TavikRoot(), "/opt/tavik");
  setenv("TAVIK_ROOT", "/srv/tavik//", 1);
  EXPECT_EQ(TavikRoot(), "/srv/tavik");
}

TEST_F(TavikPathTest, ProgramsAreFoundWithOrWithoutExe) {
  const ScopedCurrentDirectory inRoot(tree_.Root());  // the scratch root goes when the test ends
  tree_.Write("probe", "x");
  tree_.Write("tool.exe", "x");
  EXPECT_EQ(ProgramPath("probe.exe"), "probe");
  EXPECT_EQ(ProgramPath("tool.exe"), "tool.exe");
  EXPECT_EQ(ProgramPath("GAMES\\Reward.WAV"), "GAMES/Reward.WAV");
  EXPECT_EQ(ProgramPath("absent.exe"), "");
}

TEST(WindowsNotationTest, SlashesBecomeBackslashes) {
  EXPECT_EQ(WindowsNotation("/opt/tavik/BIN"), "\\opt\\tavik\\BIN");
}

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
  LinkPort(3, tree_.Path("nothing"));
  EXPECT_EQ(ComDeviceOpen(3).error, 2);
  EXPECT_EQ(ComDeviceOpen(0).error, 2);
}

TEST_F(ComDeviceTest, AFileThatIsNoTerminalIsNoPort) {
  tree_.Write("plain", "x");
  LinkPort(4, tree_.Path("plain"));
  ComOpenResult result = ComDeviceOpen(4);
  EXPECT_EQ(result.handle, ComInvalidHandle);
  EXPECT_EQ(result.osError, ENOTTY);
}
