// The game link's far ends for a test: a game computer that the test scripts in its own process (the
// server end on port 5510, which greets a client that connects and answers echo requests after a set
// delay, with a message of its own or with the request's own payload, and may stop answering part-way),
// the build's console programs (gameecho, linkping) with their output, and linkprobe's side of the link.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "link/link.h"

// A program of the build started for the test, its console kept as it comes.
class ConsoleProgram {
 public:
  ConsoleProgram(const std::string& path, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment = {})
      : process_(path, args, environment) {}
  // Reads the console until `text` appears or the time passes; true when it appeared.
  bool WaitFor(const std::string& text, int milliseconds = WaitLimitMs) {
    return ReadUntil(process_, output_, text, milliseconds);
  }
  // Reads to the end of the output: the exit status, -1 when the program did not end in time.
  int Finish() {
    ReadUntil(process_, output_, "", RunLimitMs);
    return process_.Wait(ExitWaitMs);
  }
  ChildProcess& process() { return process_; }
  const std::string& output() const { return output_; }

 private:
  static constexpr int WaitLimitMs = 10000;  // for a line a running program owes
  static constexpr int RunLimitMs = 30000;   // for the longest run a test makes
  static constexpr int ExitWaitMs = 5000;    // for its end once its output has ended
  ChildProcess process_;
  std::string output_;
};

// How it answers an echo request: with an empty echo request of its own, or with the request's payload.
enum class GameAnswer { Own, Echo };
constexpr int EveryRequest = -1;

// The game computer as the test scripts it: the server end of the link on port 5510, which sends
// `greetings` messages of its own as soon as a client is connected and answers each echo request
// after `replyDelay`, the first `answered` of them only unless that is EveryRequest.
class ScriptedGameComputer {
 public:
  ScriptedGameComputer(std::chrono::milliseconds replyDelay, int greetings = 0, int answered = EveryRequest,
                       GameAnswer answer = GameAnswer::Own)
      : replyDelay_(replyDelay), greetings_(greetings), answered_(answered), answer_(answer) {
    link_ = LinkCreate();
    listening_ = link_ != nullptr && LinkConnect(link_, "ethernet", "127.0.0.1", 5510, LinkFlagServer) == 0;
    if (listening_) thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedGameComputer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    LinkRelease(link_);
  }
  bool listening() const { return listening_; }
  int echoRequests() const { return echoRequests_; }

 private:
  void Serve() {
    bool greeted = false;
    std::uint8_t message[LinkReceiveBufferSize];
    while (!stop_) {
      if (!greeted && LinkStatus(link_) != 0) {
        for (int i = 0; i < greetings_; ++i) Send(200, i);
        greeted = true;
      }
      int length;
      while ((length = LinkReceive(link_, -1, message, sizeof message)) > 0)
        if (message[0] == 224 && message[1] == 4) Answer(message, length);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void Answer(const std::uint8_t* request, int length) {
    if (answered_ != EveryRequest && echoRequests_ >= answered_) return;
    ++echoRequests_;
    auto due = std::chrono::steady_clock::now() + replyDelay_;
    while (!stop_ && std::chrono::steady_clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (stop_) return;
    if (answer_ == GameAnswer::Echo)
      Send(224, 4, request + LinkOffsetPayload, length - LinkHeaderSize);
    else
      Send(224, 4);
  }
  void Send(int code, int subcode, const void* payload = nullptr, int payloadLength = 0) {
    std::uint8_t message[LinkMaxMessageLength];
    LinkBuildMessage(link_, message, sizeof message, code, subcode, payload, payloadLength);
    LinkSend(link_, message, 0);
  }

  std::chrono::milliseconds replyDelay_;
  int greetings_;
  int answered_;
  GameAnswer answer_;
  LinkConnection* link_ = nullptr;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> echoRequests_{0};
  std::thread thread_;
};

// linkprobe's state after an action: its link to the game computer let go. Templates over linkprobe's state,
// so that this header needs none of linkprobe's own (the GUI tests share it).
template <class ProbeState>
void ReleaseGameLink(ProbeState& state) {
  LinkDisconnect(state.gameLink);
  LinkRelease(state.gameLink);
  state.gameLink = nullptr;
}

// ConnectToGameComputer on the settings in DEVS.NIN, read afresh, into an empty pane; the link is released
// again on success.
template <class ProbeState>
int ConnectOnce(ProbeState& state) {
  state.settings = {};
  ReadDeviceSettingsInto(state.settings);
  state.pane.Clear();
  const int code = ConnectToGameComputer(state);
  if (code == 0) ReleaseGameLink(state);
  return code;
}
