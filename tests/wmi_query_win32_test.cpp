// The management queries against the system's own WMI: processor and memory figures, the device list,
// an empty result, and the result codes of misuse and of a thread whose COM model does not fit.
#include "sysutil/wmi_query.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "sysutil/com_scan.h"
#include "windows_test_support.h"

namespace {

class WmiQueryWin32 : public ::testing::Test {
 protected:
  ~WmiQueryWin32() override { WmiClose(); }

  // The property as text, or "error <code>".
  static std::string Read(const char* property, int index) {
    char text[300];
    const int result = WmiReadProperty(property, index, text, sizeof text);
    return result == 0 ? std::string(text) : "error " + std::to_string(result);
  }

  static bool IsNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  }
};

TEST_F(WmiQueryWin32, EveryReadBeforeAnOpenSaysNoQueryOpen) {
  char a[40], b[40];
  EXPECT_EQ(WmiReadProperty("Name", 0, a, sizeof a), 1);
  EXPECT_EQ(WmiNextDevice(a, sizeof a, b, sizeof b), 1);
  WmiClose();
  WmiClose();
  EXPECT_EQ(WmiReadProperty("Name", 0, a, sizeof a), 1);
}

TEST_F(WmiQueryWin32, ProcessorFiguresComeBackAsDecimalAndText) {
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  const std::string cores = Read("NumberOfCores", 0), logical = Read("NumberOfLogicalProcessors", 0);
  ASSERT_TRUE(IsNumber(cores) && IsNumber(logical)) << cores << " " << logical;
  EXPECT_GE(std::atoi(cores.c_str()), 1);
  EXPECT_GE(std::atoi(logical.c_str()), std::atoi(cores.c_str()));
  EXPECT_TRUE(IsNumber(Read("CurrentClockSpeed", 0))) << Read("CurrentClockSpeed", 0);
  const std::string name = Read("Name", 0);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.rfind("error", 0), std::string::npos) << name;
  RecordProperty("processor", cores + " cores, " + logical + " logical, " + name);

  int count = 0;
  while (count < 16 && Read("NumberOfCores", count).rfind("error", 0) != 0) ++count;
  EXPECT_GE(count, 1);
  EXPECT_EQ(Read("NumberOfCores", count), "error -1") << "past the last processor";
  EXPECT_EQ(Read("NumberOfCores", -1), "error -1");
  EXPECT_EQ(Read("NoSuchProperty", 0), "error 10");
  EXPECT_EQ(Read("NumberOfCores", 0), cores) << "each read rewinds the result set";
}

TEST_F(WmiQueryWin32, ValuesAreCutToTheCallersBuffer) {
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  const std::string name = Read("Name", 0);
  ASSERT_GE(name.size(), 5u);
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  ASSERT_EQ(WmiReadProperty("Name", 0, small, sizeof small), 0);
  EXPECT_EQ(std::string(small), name.substr(0, 4));
  char digits[2];
  ASSERT_EQ(WmiReadProperty("NumberOfLogicalProcessors", 0, digits, sizeof digits), 0);
  EXPECT_EQ(digits[1], '\0');
}

// The memory size is a 64-bit number that WMI hands over as text.
TEST_F(WmiQueryWin32, VisibleMemoryMatchesThePhysicalMemory) {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  const double kilobytes = static_cast<double>(status.ullTotalPhys) / 1024;
  ASSERT_EQ(WmiOpenQuery("Win32_OperatingSystem"), 0);
  const std::string memory = Read("TotalVisibleMemorySize", 0);
  ASSERT_TRUE(IsNumber(memory)) << memory;
  EXPECT_NEAR(std::atof(memory.c_str()), kilobytes, kilobytes * 0.05);
  EXPECT_EQ(Read("TotalVisibleMemorySize", 1), "error -1") << "one operating system";
  WmiClose();

  // The report asks the base class, which Windows answers with the same object; a system that lists
  // nothing for it gives the empty result.
  ASSERT_EQ(WmiOpenQuery("CIM_OperatingSystem"), 0);
  const std::string base = Read("TotalVisibleMemorySize", 0);
  if (base != "error -1") {
    EXPECT_EQ(base, memory);
  }
  RecordProperty("base_class_memory", base);
}

TEST_F(WmiQueryWin32, EmptyResultEndsTheDeviceWalkAndTheReadsAtOnce) {
  ASSERT_EQ(WmiOpenQuery("Win32_Processor WHERE Name = 'no such processor'"), 0);
  char id[400], name[400];
  for (int step = 0; step < 2; ++step) EXPECT_EQ(WmiNextDevice(id, sizeof id, name, sizeof name), -1) << step;
  EXPECT_EQ(Read("Name", 0), "error -1");
}

TEST_F(WmiQueryWin32, DeviceWalkEndsWithMinusOneWhateverTheSystemLists) {
  ASSERT_EQ(WmiOpenQuery("Win32_PNPEntity"), 0);
  char id[400], name[400];
  int result = 0, count = 0;
  while (count < 10000 && (result = WmiNextDevice(id, sizeof id, name, sizeof name)) == 0) {
    EXPECT_NE(id[0], '\0') << "device " << count;
    ++count;
  }
  EXPECT_EQ(result, -1);
  EXPECT_EQ(WmiNextDevice(id, sizeof id, name, sizeof name), -1) << "stays at the end";
  RecordProperty("devices", count);
}

TEST_F(WmiQueryWin32, UnknownClassFailsTheQueryAndLeavesItClosed) {
  const int opened = WmiOpenQuery("No_Such_Class");
  if (opened == 0) {
    // Some systems report a bad class only when the result set is first stepped.
    EXPECT_EQ(Read("Name", 0).rfind("error ", 0), 0u);
  } else {
    EXPECT_EQ(opened, 6);
    EXPECT_EQ(Read("Name", 0), "error 1");
  }
}

TEST_F(WmiQueryWin32, QueriesOpenAgainAfterEachCloseAndOpeningClosesTheLast) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(WmiOpenQuery("Win32_OperatingSystem"), 0) << round;
    EXPECT_TRUE(IsNumber(Read("TotalVisibleMemorySize", 0)));
    WmiClose();
  }
  ASSERT_EQ(WmiOpenQuery("Win32_OperatingSystem"), 0);
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0);
  EXPECT_TRUE(IsNumber(Read("NumberOfCores", 0)));
}

TEST_F(WmiQueryWin32, ThreadWithTheOtherComModelGetsCodeOne) {
  int opened = -2;
  std::thread worker([&opened] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    opened = WmiOpenQuery("Win32_Processor");
    WmiClose();
    CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(opened, 1);
  ASSERT_EQ(WmiOpenQuery("Win32_Processor"), 0) << "the failure left nothing behind";
}

// The summary needs the memory figure of the base class; without it the summary stays empty.
TEST(WmiQueryWin32Library, MissingLocatorGivesCodeThreeAndAnEmptyQuery) {
  if (!RunsUnderWine()) GTEST_SKIP() << "switching the management library off is a setting of Wine's";
  const char* key = "Software\\Wine\\AppDefaults\\sysutil_probe.exe\\DllOverrides";
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key, "wbemprox", REG_SZ, "disabled", sizeof "disabled"), ERROR_SUCCESS);
  const std::string answer = HelperAnswer(SYSUTIL_PROBE, "wmi", "Win32_Processor");
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\sysutil_probe.exe");
  EXPECT_EQ(answer, "open 3 read 1");
  EXPECT_EQ(HelperAnswer(SYSUTIL_PROBE, "wmi", "Win32_Processor"), "open 0 read 0") << "with the library back";
}

TEST(SystemSummaryWin32, SummaryNamesProcessorAndMemoryOrStaysEmpty) {
  char memory[40] = "";
  const bool baseAnswers = WmiOpenQuery("CIM_OperatingSystem") == 0 &&
                           WmiReadProperty("TotalVisibleMemorySize", 0, memory, sizeof memory) == 0;
  WmiClose();
  const std::string summary = GetSystemSummary();
  EXPECT_EQ(summary.empty(), !baseAnswers) << summary;
  if (!baseAnswers) return;
  int cores = 0, logical = 0, speed = 0, kilobytes = 0;
  const int read =
      std::sscanf(summary.c_str(), "Cores=%d,Procs=%d,Speed=%d,Mem=%d\n", &cores, &logical, &speed, &kilobytes);
  ASSERT_EQ(read, 4) << summary;
  EXPECT_GE(cores, 1);
  EXPECT_GE(logical, cores);
  EXPECT_EQ(kilobytes, std::atoi(memory));
  const std::size_t cpu = summary.find("\nCPU=");
  ASSERT_NE(cpu, std::string::npos);
  EXPECT_GT(summary.size(), cpu + 6);
  EXPECT_EQ(summary.back(), '\n');
}

}  // namespace
