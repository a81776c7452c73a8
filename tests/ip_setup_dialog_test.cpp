// The IP set-up dialog as a technician uses it, on a private X server (Xvfb) driven with xdotool: the
// adapters of a fake sysfs tree, the role and group, "Try Setting Address" and "Done". A recording
// runner stands in for the elevated one, and a fake host network lets the new address appear.
#include "netsetup_ui/ip_setup_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "sysutil/host_address.h"
#include "sysutil/program_search.h"
#include "read_file.h"
#include "scratch_tree.h"
#include "shell_command.h"
#include "test_environment.h"
#include "x_session.h"

namespace fs = std::filesystem;

// LeakSanitizer: the font and display caches that the toolkit's libraries keep until the process ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libXft.so\nleak:libX11.so\n";
}

namespace {

std::string recordFile;  // written by the recording runner; its presence makes the new address appear

const HostNetworkSource FakeNetwork = {
    [](char* buffer, std::size_t size) { return std::snprintf(buffer, size, "testhost") > 0; },
    [](std::vector<InterfaceAddress>& out) {
      out = {fs::exists(recordFile) ? InterfaceAddress{"", 2, true, false, {192, 168, 12, 2}}
                                    : InterfaceAddress{"", 2, true, false, {192, 168, 1, 50}}};
      return true;
    },
    [](const char*, std::uint8_t*) { return false; }};  // no resolver

// A private X server for the whole test program, stopped when the program ends; the clicks never
// reach a display that someone is using. The first test that needs it starts it.
std::unique_ptr<probetest::PrivateXServer> privateServer;

// Whether the private server runs; the dialogs then open on it.
bool StartPrivateServer() {
  if (!privateServer) privateServer = std::make_unique<probetest::PrivateXServer>();
  if (privateServer->Display().empty()) return false;
  setenv("DISPLAY", privateServer->Display().c_str(), 1);
  return true;
}

class IpSetupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    if (!StartPrivateServer()) GTEST_SKIP() << "Xvfb is not installed (or did not start)";
    for (const auto& [device, index, alias] :
         {std::tuple{"tvkfake0", "2", "Local Area Connection"}, {"tvkfake1", "3", ""}}) {
      const std::string dir = std::string("sys/class/net/") + device + "/";
      tree_.Dir(dir + "device");
      for (const auto& [file, text] :
           {std::pair{"ifindex", index}, {"type", "1"}, {"operstate", "up"}, {"ifalias", alias}})
        tree_.Write(dir + file, std::string(text) + "\n");
    }
    tree_.Dir("sys/class/net/tvkfake1/phy80211");  // the wireless one
    recordFile = tree_.Path("runner.args");
    tree_.Write("runner", "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + recordFile + ".part\nmv " + recordFile + ".part " +
                              recordFile + "\n");
    fs::permissions(tree_.Path("runner"), fs::perms::owner_all);
    SetHostNetworkSource(&FakeNetwork);
  }
  void TearDown() override { SetHostNetworkSource(nullptr); }

  // Drives the dialog from another thread (xdotool only, no toolkit calls there) while this thread
  // runs the dialog; a time-out closes the dialog should a step go wrong.
  void RunWith(IpSetupDialog& dialog, const std::vector<std::string>& steps) {
    std::thread user([&] {
      std::string window = "$(xdotool search --sync --onlyvisible --name '^IP setup$' | head -1)";
      for (const std::string& step : steps) {
        RunQuietly("W=" + window + "; " + step);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
      }
    });
    Fl::add_timeout(
        60.0, [](void* d) { static_cast<IpSetupDialog*>(d)->Close(); }, &dialog);
    dialog.Run();
    user.join();
  }

  IpSetupHost Host(const char* role) {
    IpSetupHost host;
    host.hideMainWindow = [this] { events_.push_back("hide main"); };
    host.showMainWindow = [this] { events_.push_back("show main"); };
    host.showHostAddress = [this](const char* text) { events_.push_back(std::string("identity ") + text); };
    host.stationRole = role;
    return host;
  }

  static std::string Click(int x, int y) {
    return "xdotool mousemove --sync --window $W " + std::to_string(x) + " " + std::to_string(y) + " click 1";
  }
  // Replaces the group input's text, key by key (digits and the minus sign).
  static std::string Group(int x, int y, const std::string& text) {
    std::string keys = Click(x, y) + " key End BackSpace BackSpace BackSpace BackSpace";
    for (char c : text) keys += c == '-' ? std::string(" minus") : " " + std::string(1, c);
    return keys;
  }

  ScratchTree tree_{"tavik_dialog"};
  ScopedEnv runner_{"TAVIK_ELEVATION_RUNNER", tree_.Path("runner")}, sysfs_{"TAVIK_SYSFS", tree_.Path("sys")};
  std::vector<std::string> events_;
};

}  // namespace

TEST_F(IpSetupDialogTest, BadChoicesRunNothingAndAGoodOneSetsTheAddress) {
  IpSetupDialog dialog(IpSetupLayout::Probe, Host(""));
  const std::string adapter = Click(200, 102), client = Click(110, 327), tryIt = Click(280, 445);
  const std::string done = Click(279, 497);
  RunWith(dialog,
          {adapter, tryIt,                         // no role
           client, Group(390, 332, "255"), tryIt,  // group out of range
           Group(390, 332, "-1"), tryIt, "test ! -e " + recordFile + " && " + Group(390, 332, "12"), tryIt, done});
  std::string recorded = ReadWholeFile(recordFile);
  EXPECT_NE(recorded.find("tavik-setip\ninterface ip set address name=\"Local Area Connection\" static "
                          "192.168.12.2 255.255.255.0 \n"),
            std::string::npos)
      << recorded;
  const std::string identity = "identity I am testhost (192.168.12.2)";  // once after the wait, once by "Done"
  EXPECT_EQ(events_, (std::vector<std::string>{"hide main", identity, "show main", identity}));
  EXPECT_FALSE(dialog.Window()->shown());
}

TEST_F(IpSetupDialogTest, WirelessAdaptersCannotBePicked) {
  IpSetupDialog dialog(IpSetupLayout::Toolboard, Host("Therapist"));
  RunWith(dialog, {Click(250, 138), Click(300, 455), Click(299, 502)});
  EXPECT_FALSE(fs::exists(recordFile));
  EXPECT_EQ(events_, (std::vector<std::string>{"hide main", "show main", "identity I am testhost (192.168.1.50)"}));
}
