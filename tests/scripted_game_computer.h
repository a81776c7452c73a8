// A game computer that a test scripts, in the test's own process: the server end of the game link on
// port 5510, which greets a client that connects and answers echo requests after a set delay.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "link/link.h"

// The game computer as the test scripts it: the server end of the link on port 5510, which sends
// `greetings` messages of its own as soon as a client is connected and answers each echo request
// after `replyDelay`.
class ScriptedGameComputer {
 public:
  ScriptedGameComputer(std::chrono::milliseconds replyDelay, int greetings = 0)
      : replyDelay_(replyDelay), greetings_(greetings) {
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
      while (LinkReceive(link_, -1, message, sizeof message) > 0)
        if (message[0] == 224 && message[1] == 4) Answer();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void Answer() {
    ++echoRequests_;
    auto due = std::chrono::steady_clock::now() + replyDelay_;
    while (!stop_ && std::chrono::steady_clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!stop_) Send(224, 4);
  }
  void Send(int code, int subcode) {
    std::uint8_t message[LinkMaxMessageLength];
    LinkBuildMessage(link_, message, sizeof message, code, subcode, nullptr, 0);
    LinkSend(link_, message, 0);
  }

  std::chrono::milliseconds replyDelay_;
  int greetings_;
  LinkConnection* link_ = nullptr;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> echoRequests_{0};
  std::thread thread_;
};
