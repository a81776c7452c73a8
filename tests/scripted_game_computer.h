// A game computer that a test scripts, in the test's own process: the server end of the game link on
// port 5510, which greets a client that connects and answers echo requests after a set delay, with a
// message of its own or with the request's own payload, and may stop answering part-way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "link/link.h"

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
