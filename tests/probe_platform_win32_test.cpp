// linkprobe's Windows pieces. The game address check through the system's resolver: numeric and named
// loopback pass; bad numbers and unknown names give the resolver's code with the system's own words on
// one line. The local reward sound through the system's wave player: it returns when the sound is over,
// and a computer without a sound device, or a missing file, makes it return quietly instead of hanging.
#include "host_lookup.h"
#include "sound/sound_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "scratch_tree.h"

namespace {

TEST(HostLookupWin32, LoopbackByNumberAndByNamePasses) {
  char text[1024] = "untouched";
  EXPECT_EQ(CheckIpv4Address("127.0.0.1", text, sizeof text), 0);
  EXPECT_EQ(CheckIpv4Address("localhost", text, sizeof text), 0) << "the sockets start for the check itself";
  EXPECT_STREQ(text, "untouched");
}

TEST(HostLookupWin32, BadNumberAndUnknownNameGiveTheResolversCodeAndText) {
  for (const char* address : {"192.168.10.256", "10.0.0.1.5", "no-such-host.invalid"}) {
    SCOPED_TRACE(address);
    char text[1024] = "";
    EXPECT_NE(CheckIpv4Address(address, text, sizeof text), 0);
    EXPECT_GT(std::strlen(text), 0u);
    EXPECT_EQ(std::strpbrk(text, "\r\n"), nullptr) << "the message's line breaks are left out";
  }
}

TEST(HostLookupWin32, SmallAndEmptyTextBuffersAreNotOverrun) {
  char guard[12];
  std::memset(guard, 'x', sizeof guard);
  EXPECT_NE(CheckIpv4Address("192.168.10.256", guard, 4), 0);
  EXPECT_EQ(guard[4], 'x');
  EXPECT_NE(std::memchr(guard, '\0', 4), nullptr) << "what is there is terminated";
  EXPECT_NE(CheckIpv4Address("192.168.10.256", guard + 8, 0), 0);
  EXPECT_EQ(guard[8], 'x');
}

// A wave file of `milliseconds` of silence: 8 kHz, 8-bit, mono.
std::string SilentWave(std::uint32_t milliseconds) {
  const std::uint32_t samples = 8 * milliseconds;
  auto word = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  };
  return "RIFF" + word(36 + samples, 4) + "WAVEfmt " + word(16, 4) + word(1, 2) + word(1, 2) + word(8000, 4) +
         word(8000, 4) + word(1, 2) + word(8, 2) + "data" + word(samples, 4) + std::string(samples, '\x80');
}

// Plays the file on a thread of its own (left running if it hangs, so that the test can report);
// false when it had not ended within the limit, else how long it took.
bool PlaysInTime(const std::string& path, double& seconds) {
  constexpr std::chrono::seconds limit{30};
  const auto start = std::chrono::steady_clock::now();
  auto ended = std::make_shared<std::promise<void>>();
  std::future<void> played = ended->get_future();
  std::thread([path, ended] {
    PlaySoundFileSync(path.c_str());
    ended->set_value();
  }).detach();
  if (played.wait_for(limit) != std::future_status::ready) return false;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return true;
}

TEST(SoundPlayerWin32, ShortSoundReturnsWhetherOrNotThereIsADevice) {
  ScratchTree tree("tavik_sound");
  tree.Write("reward.wav", SilentWave(300));
  double seconds = 0;
  // The first play may spend seconds looking for a sound device; a hang is what must not happen.
  ASSERT_TRUE(PlaysInTime(tree.Path("reward.wav"), seconds));
  RecordProperty("seconds", std::to_string(seconds));
}

// Silence itself cannot be heard here; what must hold is that a bad file never holds up its caller.
TEST(SoundPlayerWin32, MissingOrDamagedFileReturns) {
  ScratchTree tree("tavik_sound");
  tree.Write("broken.wav", "RIFF\x04\x00\x00\x00WAVE");
  double seconds = 0;
  for (const char* name : {"missing.wav", "broken.wav"}) ASSERT_TRUE(PlaysInTime(tree.Path(name), seconds)) << name;
}

}  // namespace
