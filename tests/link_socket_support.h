// Helpers for the socket link tests: free loopback ports, waiting with a deadline, raw UDP endpoints.
#pragma once

#include "link/link.h"
#include "link_net.h"
#include "link_shared.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>

namespace linktest {

constexpr std::uint32_t Loopback = 0x0100007Fu;  // 127.0.0.1 in network order on little-endian hosts

// The platform's socket library is started by the first link object and stopped with the last, so a
// test that calls the socket layer itself holds an object for that time.
class SocketsReady {
 public:
  SocketsReady() : holder_(LinkCreate()) {}
  ~SocketsReady() { LinkRelease(holder_); }
  SocketsReady(const SocketsReady&) = delete;
  SocketsReady& operator=(const SocketsReady&) = delete;

 private:
  LinkConnection* holder_;
};

inline bool CanBind(int type, int port) {
  LinkSocket s = LinkNetSocket(type);
  if (s == LinkNetInvalid) return false;
  bool ok = LinkNetBind(s, LinkNetAddress{0, static_cast<std::uint16_t>(port)}) == 0;
  LinkNetClose(s);
  return ok;
}

// A T port whose TCP T, UDP T and UDP T + 1 are free, so that tests can run side by side; 0 (and a
// test failure) when no port tried was free, which means the sockets themselves do not work.
inline int FreeTPort() {
  static std::mt19937 random(std::random_device{}());
  SocketsReady sockets;
  for (int attempt = 0; attempt < 200; attempt++) {
    int port = 20000 + static_cast<int>(random() % 20000) * 2;
    if (CanBind(LinkNetStream, port) && CanBind(LinkNetDatagram, port) && CanBind(LinkNetDatagram, port + 1))
      return port;
  }
  ADD_FAILURE() << "no free loopback port found: socket error " << LinkNetLastError();
  return 0;
}

inline bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline int StatusOf(LinkConnection* link) { return LinkLoad(link->status); }

// A UDP socket bound to a loopback port, standing in for the far end of a link; a port it cannot bind
// fails the test.
class UdpEnd {
 public:
  explicit UdpEnd(int port) : socket_(LinkNetSocket(LinkNetDatagram)) {
    LinkNetSetReuseAddress(socket_);
    bound_ = LinkNetBind(socket_, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)}) == 0;
    if (!bound_) ADD_FAILURE() << "UDP port " << port << " cannot be bound: socket error " << LinkNetLastError();
  }
  ~UdpEnd() { LinkNetClose(socket_); }
  UdpEnd(const UdpEnd&) = delete;
  UdpEnd& operator=(const UdpEnd&) = delete;

  bool bound() const { return bound_; }
  // Waits up to the time for a datagram; its size, or -1.
  int Receive(void* buffer, int size, int milliseconds) {
    LinkNetSet read;
    LinkNetSetClear(&read);
    LinkNetSetAdd(&read, socket_);
    if (LinkNetSelect(&read, nullptr, milliseconds * 1000) <= 0) return -1;
    return LinkNetReceiveFrom(socket_, buffer, size);
  }
  int SendTo(int port, const void* bytes, int count) {
    return LinkNetSendTo(socket_, bytes, count, LinkNetAddress{Loopback, static_cast<std::uint16_t>(port)});
  }

 private:
  LinkSocket socket_;
  bool bound_ = false;
};

}  // namespace linktest
