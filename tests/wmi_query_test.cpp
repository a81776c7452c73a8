// The management queries over small fake sysfs/procfs trees: devices with their COM ports, processor
// packages, memory, and the result codes of every misuse.
#include "sysutil/wmi_query.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "scratch_tree.h"
#include "test_environment.h"

namespace {

class WmiQueryTest : public ::testing::Test {
 protected:
  ~WmiQueryTest() override { WmiClose(); }

  void UsbDevice(const std::string& name, const char* vendor, const char* product, const char* label,
                 const char* serial) {
    const std::string dir = "bus/usb/devices/" + name + "/";
    sys_.Write(dir + "idVendor", std::string(vendor) + "\n");
    sys_.Write(dir + "idProduct", std::string(product) + "\n");
    if (label) sys_.Write(dir + "product", std::string(label) + "\n");
    if (serial) sys_.Write(dir + "serial", std::string(serial) + "\n");
  }

  // Every (DeviceID, Name) pair that WmiNextDevice gives until its end.
  std::vector<std::pair<std::string, std::string>> AllDevices() {
    std::vector<std::pair<std::string, std::string>> devices;
    char id[400], name[400];
    int result;
    while ((result = WmiNextDevice(id, sizeof id, name, sizeof name)) == 0) devices.emplace_back(id, name);
    EXPECT_EQ(result, -1);
    return devices;
  }

  std::string Read(const char* property, int index) {
    char text[300];
    int result = WmiReadProperty(property, index, text, sizeof text);
    return result == 0 ? std::string(text) : "error " + std::to_string(result);
  }
  // A processor's cores, threads, clock and name, or the errors in their place.
  std::vector<std::string> Processor(int index) {
    std::vector<std::string> values;
    for (const char* property : {"NumberOfCores", "NumberOfLogicalProcessors", "CurrentClockSpeed", "Name"})
      values.push_back(Read(property, index));
    return values;
  }

  void Cpu(int n, int package, int core, const char* online = nullptr) {
    const std::string dir = "devices/system/cpu/cpu" + std::to_string(n) + "/";
    sys_.Write(dir + "topology/physical_package_id", std::to_string(package) + "\n");
    sys_.Write(dir + "topology/core_id", std::to_string(core) + "\n");
    if (online) sys_.Write(dir + "online", online);
  }

  ScratchTree sys_{"tavik_sysfs"}, proc_{"tavik_procfs"}, root_{"tavik_root"};
  ScopedEnv sysfs_{"TAVIK_SYSFS", sys_.Root()}, procfs_{"TAVIK_PROCFS", proc_.Root()},
      suite_{"TAVIK_ROOT", root_.Root()};
};

TEST_F(WmiQueryTest, ReadsWithoutAnOpenQueryAndUnknownClassesFail) {
  char a[10], b[10];
  EXPECT_EQ(WmiReadProperty("Name", 0, a, sizeof a), 1);
  EXPECT_EQ(WmiNextDevice(a, sizeof a, b, sizeof b), 1);
  WmiClose();
  WmiClose();
  EXPECT_EQ(WmiOpenQuery("Win32_NoSuchClass"), 6);
  EXPECT_EQ(WmiReadProperty("Name", 0, a, sizeof a), 1);
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  WmiClose();
  EXPECT_EQ(WmiNextDevice(a, sizeof a, b, sizeof b), 1) << "closing ends the query";
}

TEST_F(WmiQueryTest, UsbDevicesAndBuiltInPortsAreListedWithTheirComPorts) {
  root_.Link("dosdevices/com1", "/dev/null");
  sys_.Write("class/tty/ttyS0/type", "4\n");
  sys_.Write("class/tty/ttyS1/type", "0\n");
  for (const char* tty : {"class/tty/ttyUSB0", "class/tty/ttyACM0", "bus/usb/devices/broken"}) sys_.Dir(tty);
  UsbDevice("1-1", "0403", "6001", "FT232R USB UART", "A50285BI");
  sys_.Dir("bus/usb/devices/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0");
  UsbDevice("1-2", "2a5f", "1", nullptr, nullptr);
  sys_.Dir("bus/usb/devices/1-2:1.0");
  UsbDevice("1-10", "16c0", "05e1", "Encoder", "xyz");
  sys_.Dir("bus/usb/devices/1-10/1-10:1.0/tty/ttyACM0");
  UsbDevice("usb1", "1d6b", "0002", "xHCI Host Controller", "0000:00:14.0");

  ASSERT_EQ(WmiOpenQuery("Win32_PNPEntity"), 0);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"USB\\VID_0403&PID_6001\\A50285BI", "FT232R USB UART (COM3)"},
      {"USB\\VID_2A5F&PID_0001\\1-2", "USB Device"},
      {"USB\\VID_16C0&PID_05E1\\xyz", "Encoder (COM4)"},
      {"USB\\VID_1D6B&PID_0002\\0000:00:14.0", "xHCI Host Controller"},
      {"SERIAL\\ttyS0", "Communications Port (COM2)"},
  };
  EXPECT_EQ(AllDevices(), expected);
  char id[8], name[8];
  EXPECT_EQ(WmiNextDevice(id, sizeof id, name, sizeof name), -1) << "the end stays the end";
  EXPECT_EQ(Read("Name", 2), "Encoder (COM4)") << "reading rewinds";
  EXPECT_EQ(WmiReadProperty("DeviceID", 0, id, sizeof id), 0);
  EXPECT_STREQ(id, "USB\\VID") << "cut to the buffer with its terminator";
  EXPECT_EQ(Read("Manufacturer", 0), "error 10");
}

TEST_F(WmiQueryTest, ClassWithoutInstancesEndsAtOnce) {
  ASSERT_EQ(WmiOpenQuery("win32_pnpentity"), 0);
  char id[40], name[40];
  EXPECT_EQ(WmiNextDevice(id, sizeof id, name, sizeof name), -1);
  EXPECT_EQ(WmiReadProperty("Name", 0, name, sizeof name), -1);
}

TEST_F(WmiQueryTest, ProcessorsArePhysicalPackagesWithCoresThreadsClockAndName) {
  for (int n = 0; n < 4; ++n) Cpu(n, 0, n / 2);
  Cpu(4, 1, 0, "1\n");
  Cpu(5, 1, 1);
  Cpu(6, 1, 2, "0\n");
  sys_.Write("devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2400000\n");
  std::string cpuinfo;
  for (int n = 0; n < 7; ++n)
    cpuinfo += "processor\t: " + std::to_string(n) +
               "\nmodel name\t: " + (n < 4 ? "Example CPU A @ 2.40GHz" : "Example CPU B") +
               "\ncpu MHz\t\t: 1999.700\n\n";
  proc_.Write("cpuinfo", cpuinfo);

  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  EXPECT_EQ(Processor(0), (std::vector<std::string>{"2", "4", "2400", "Example CPU A @ 2.40GHz"}));
  // The offline CPU does not count, and the clock comes from cpuinfo when cpufreq is missing.
  EXPECT_EQ(Processor(1), (std::vector<std::string>{"2", "2", "2000", "Example CPU B"}));
  EXPECT_EQ(Read("DeviceID", 1), "CPU1");
  EXPECT_EQ(Read("NumberOfCores", 2), "error -1");
}

TEST_F(WmiQueryTest, ProcessorsComeFromCpuinfoAloneWhenSysfsHasNone) {
  proc_.Write("cpuinfo",
              "processor\t: 0\nphysical id\t: 0\ncore id\t\t: 0\nmodel name\t: Solo\ncpu MHz\t\t: 800.0\n\n"
              "processor\t: 1\nphysical id\t: 0\ncore id\t\t: 0\nmodel name\t: Solo\ncpu MHz\t\t: 800.0\n");
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  EXPECT_EQ(Processor(0), (std::vector<std::string>{"1", "2", "800", "Solo"}));
  EXPECT_EQ(Read("Name", 1), "error -1");
}

TEST_F(WmiQueryTest, OperatingSystemReportsMemTotalInKilobytes) {
  ASSERT_EQ(WmiOpenQuery("CIM_OperatingSystem"), 0);
  EXPECT_EQ(Read("TotalVisibleMemorySize", 0), "error 10") << "no meminfo";
  proc_.Write("meminfo", "MemTotal:       16318268 kB\nMemFree:          981234 kB\n");
  ASSERT_EQ(WmiOpenQuery("CIM_OperatingSystem"), 0) << "opening again replaces the open query";
  EXPECT_EQ(Read("TotalVisibleMemorySize", 0), "16318268");
  EXPECT_EQ(Read("TotalVisibleMemorySize", 1), "error -1");
  char id[40], name[40];
  WmiClose();
  ASSERT_EQ(WmiOpenQuery("CIM_OperatingSystem"), 0);
  EXPECT_EQ(WmiNextDevice(id, sizeof id, name, sizeof name), 10) << "the system object has no DeviceID";
}

}  // namespace
