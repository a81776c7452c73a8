// The local reward sound played into ALSA's file plugin through a private configuration, compared
// frame for frame with the wave file it came from.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "game_communications.h"
#include "probe_tree_support.h"

namespace {

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// A 16-bit PCM wave file around `samples`.
std::string WaveFile(const std::string& samples, int channels, int rate) {
  std::string wav = "RIFF";
  PutLe(wav, static_cast<std::uint32_t>(36 + samples.size()), 4);
  wav += "WAVEfmt ";
  PutLe(wav, 16, 4);
  PutLe(wav, 1, 2);
  PutLe(wav, static_cast<std::uint32_t>(channels), 2);
  PutLe(wav, static_cast<std::uint32_t>(rate), 4);
  PutLe(wav, static_cast<std::uint32_t>(rate * channels * 2), 4);
  PutLe(wav, static_cast<std::uint32_t>(channels * 2), 2);
  PutLe(wav, 16, 2);
  wav += "data";
  PutLe(wav, static_cast<std::uint32_t>(samples.size()), 4);
  return wav + samples;
}

std::string SamplePattern(int count) {
  std::string samples;
  std::uint32_t x = 12345;
  for (int i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    PutLe(samples, x >> 16, 2);
  }
  return samples;
}

class RewardSound : public ProbeTreeTest {
 protected:
  std::unique_ptr<probetest::ScopedEnv> alsaConfig;

  // ALSA's default device becomes a file of raw frames in the tree.
  void SetUp() override {
    ProbeTreeTest::SetUp();
    tree.Write("asound.conf", "pcm.!default {\n  type file\n  slave { pcm { type null } }\n  file \"" +
                                  tree.Path("played.raw") + "\"\n  format \"raw\"\n}\n");
    alsaConfig = std::make_unique<probetest::ScopedEnv>("ALSA_CONFIG_PATH", tree.Path("asound.conf"));
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
