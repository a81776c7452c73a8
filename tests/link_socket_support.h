// Helpers for the socket link tests and programs: free loopback ports, waiting with a deadline, raw UDP
// endpoints.
#pragma once

#include "link/link.h"
#include "link_net.h"
#include "link_shared.h"

#include "eventually.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

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

inline LinkNetAddress At(std::uint32_t address, int port) { return {address, static_cast<std::uint16_t>(port)}; }

inline bool CanBind(int type, int port) {
  LinkSocket s = LinkNetSocket(type);
  if (s == LinkNetInvalid) return false;
  bool ok = LinkNetBind(s, At(0, port)) == 0;
  LinkNetClose(s);
  return ok;
}

// Whether TCP T, UDP T and UDP T + 1 are free, the ports a link on T takes.
inline bool TPortFree(int t) {
  return CanBind(LinkNetStream, t) && CanBind(LinkNetDatagram, t) && CanBind(LinkNetDatagram, t + 1);
}

// Waits up to the time for the socket to be readable (or writable): select's answer.
inline int Ready(LinkSocket s, bool forWriting, int milliseconds) {
  LinkNetSet set;
  LinkNetSetClear(&set);
  LinkNetSetAdd(&set, s);
  return LinkNetSelect(forWriting ? nullptr : &set, forWriting ? &set : nullptr, milliseconds * 1000);
}

// A free T port drawn at random, so that tests can run side by side; 0 (and a test failure) when no port
// tried was free, which means the sockets themselves do not work.
inline int FreeTPort() {
  static std::mt19937 random(std::random_device{}());
  SocketsReady sockets;
  for (int attempt = 0; attempt < 200; attempt++) {
    int port = 20000 + static_cast<int>(random() % 20000) * 2;
    if (TPortFree(port)) return port;
  }
  ADD_FAILURE() << "no free loopback port found: socket error " << LinkNetLastError();
  return 0;
}

// Eventually, asked every 2 ms: the link threads answer within a few milliseconds.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  return Eventually(condition, milliseconds / 1000.0, std::chrono::milliseconds(2));
}

inline int StatusOf(LinkConnection* link) { return LinkLoad(link->status); }

// A UDP socket bound to a loopback port, standing in for the far end of a link; a port it cannot bind
// fails the test.
class UdpEnd {
 public:
  explicit UdpEnd(int port) : socket_(LinkNetSocket(LinkNetDatagram)) {
    LinkNetSetReuseAddress(socket_);
    if (LinkNetBind(socket_, At(Loopback, port)) != 0)
      ADD_FAILURE() << "UDP port " << port << " cannot be bound: socket error " << LinkNetLastError();
  }
  ~UdpEnd() { LinkNetClose(socket_); }
  UdpEnd(const UdpEnd&) = delete;
  UdpEnd& operator=(const UdpEnd&) = delete;

  // Waits up to the time for a datagram; its size, or -1.
  int Receive(void* buffer, int size, int milliseconds) {
    return Ready(socket_, false, milliseconds) > 0 ? LinkNetReceiveFrom(socket_, buffer, size) : -1;
  }
  int SendTo(int port, const void* bytes, int n) { return LinkNetSendTo(socket_, bytes, n, At(Loopback, port)); }

 private:
  LinkSocket socket_;
};

}  // namespace linktest
