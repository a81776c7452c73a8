// The local reward sound played into ALSA's file plugin through a private configuration, compared
// frame for frame with the wave file it came from.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "game_communications.h"
#include "probe_tree_support.h"

namespace {

// `value` as `bytes` little-endian bytes.
std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// A 16-bit PCM wave file around `samples`.
std::string WaveFile(const std::string& samples, std::uint32_t channels, std::uint32_t rate) {
  const auto size = static_cast<std::uint32_t>(samples.size());
  return "RIFF" + Le(36 + size, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(channels, 2) + Le(rate, 4) +
         Le(rate * channels * 2, 4) + Le(channels * 2, 2) + Le(16, 2) + "data" + Le(size, 4) + samples;
}

std::string SamplePattern(int count) {
  std::string samples;
  std::uint32_t x = 12345;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    samples += Le(x >> 16, 2);
  }
  return samples;
}

class RewardSound : public ProbeTreeTest {
 protected:
  probetest::ScopedEnv alsaConfig{"ALSA_CONFIG_PATH", tree.Path("asound.conf")};

  // ALSA's default device becomes a file of raw frames in the tree.
  void SetUp() override {
    ProbeTreeTest::SetUp();
    tree.Write("asound.conf", "pcm.!default {\n  type file\n  slave { pcm { type null } }\n  file \"" +
                                  tree.Path("played.raw") + "\"\n  format \"raw\"\n}\n");
  }
};

TEST_F(RewardSound, EveryFrameReachesTheOutputInOrder) {
  const std::string samples = SamplePattern(2 * 7001);  // stereo, more than one period, odd length
  tree.Write("tavik/GAMES/Reward.WAV", WaveFile(samples, 2, 22050));
  PlayLocalRewardSound();
  EXPECT_EQ(probetest::ReadWholeFile(tree.Path("played.raw")), samples);
  EXPECT_EQ(Pane(), "");
}

TEST_F(RewardSound, MissingOrUnreadableFilePlaysNothingAndSaysNothing) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  PlayLocalRewardSound();
  tree.Write("tavik/Games/reward.wav", "not a sound at all");
  PlayLocalRewardSound();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(tree.Path("played.raw")));
  EXPECT_EQ(Pane(), "");
}

TEST_F(RewardSound, AnOutputThatCannotOpenIsSilentToo) {
  tree.Write("asound.conf", "pcm.!default {\n  type hw\n  card 99\n}\n");
  tree.Write("tavik/Games/reward.wav", WaveFile(SamplePattern(800), 1, 8000));
  testing::internal::CaptureStderr();
  PlayLocalRewardSound();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
