// The stand-in game computer's serving loop over the link library.
#include "gameecho/game_echo.h"

#include <chrono>
#include <cstdint>
#include <string>

#include "link/link.h"
#include "sound/sound_player.h"
#include "platform/tavik_path.h"

namespace {

constexpr int GameRequestCode = 224;
constexpr int RewardSoundSubcode = 9;
constexpr auto ServePause = std::chrono::milliseconds(10);

}  // namespace

GameEcho::~GameEcho() {
  if (link_ != nullptr) LinkRelease(link_);
  if (player_.joinable()) player_.join();
}

int GameEcho::Start(int port) {
  link_ = LinkCreate();
  if (link_ == nullptr) return 2;
  // Announcements are left out: the therapist's side connects by itself.
  int result = LinkConnect(link_, "ethernet", "127.0.0.1", port, LinkFlagServer | LinkFlagNoAnnounce);
  if (result != 0) {
    LinkRelease(link_);
    link_ = nullptr;
  }
  return result;
}

int GameEcho::ServePending() {
  std::uint8_t message[LinkReceiveBufferSize];
  int taken = 0;
  int length;
  while ((length = LinkReceive(link_, -1, message, sizeof message)) > 0) {
    ++taken;
    std::fprintf(console_, "Message %d/%d, %d bytes\n", message[LinkOffsetCode], message[LinkOffsetSubcode], length);
    if (message[LinkOffsetCode] == GameRequestCode && message[LinkOffsetSubcode] == RewardSoundSubcode) PlayReward();
    Answer(message, length);
  }
  if (taken > 0) std::fflush(console_);
  return taken;
}

void GameEcho::Run(const std::atomic<bool>& stop) {
  while (!stop) {
    ServePending();
    std::this_thread::sleep_for(ServePause);
  }
}

// The same code, subcode and payload go back with our own sequence number. A server link that sends
// while nobody is connected starts listening afresh, so a peer that has already left gets nothing.
void GameEcho::Answer(const unsigned char* message, int length) {
  if (LinkStatus(link_) == 0 || length < LinkHeaderSize) return;
  std::uint8_t reply[LinkMaxMessageLength];
  int payload = length - LinkHeaderSize;
  if (LinkBuildMessage(link_, reply, sizeof reply, message[LinkOffsetCode], message[LinkOffsetSubcode],
                       message + LinkOffsetPayload, payload) == 0)
    return;
  LinkSend(link_, reply, 0);
}

// The sound plays beside the serving loop, so that echo requests are answered meanwhile.
void GameEcho::PlayReward() {
  if (playing_) {
    std::fprintf(console_, "Reward sound requested while still playing\n");
    return;
  }
  if (player_.joinable()) player_.join();
  std::string path = TavikPath(RewardSoundPath);
  std::fprintf(console_, "Reward sound: playing %s\n", path.c_str());
  playing_ = true;
  player_ = std::thread([this, path] {
    PlaySoundFileSync(path.c_str());
    playing_ = false;
  });
}
