// A stand-in game computer for testing the therapist side alone: the server end of the game link,
// which answers every message with the same message and plays the reward sound when asked.
#pragma once

#include <atomic>
#include <cstdio>
#include <thread>

struct LinkConnection;

class GameEcho {
 public:
  explicit GameEcho(std::FILE* console) : console_(console) {}
  ~GameEcho();
  GameEcho(const GameEcho&) = delete;
  GameEcho& operator=(const GameEcho&) = delete;

  // Listens on `port` (TCP; datagrams on port + 1). 0 when listening, else the link library's code.
  int Start(int port);
  // Answers everything that has arrived; returns the number of messages taken.
  int ServePending();
  // Serves every 10 ms until `stop` becomes true.
  void Run(const std::atomic<bool>& stop);

 private:
  void Answer(const unsigned char* message, int length);
  void PlayReward();

  std::FILE* console_;
  LinkConnection* link_ = nullptr;
  std::thread player_;
  std::atomic<bool> playing_{false};
};
