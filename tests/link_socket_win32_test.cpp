// The socket links on Windows Sockets: the socket library lives exactly as long as the link objects, a
// link's ports are its own, and a link thread whose select keeps failing still waits its half second and
// stops when asked.
#include "link/link.h"
#include "link_net.h"
#include "link_shared.h"
#include "link_socket_support.h"
#include "link_test_support.h"
#include "windows_test_support.h"

#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int FailedSelectCode = 106;  // the record of a select that failed
constexpr size_t RecordBytes = 40;

TEST(WinsockLifetime, StartsWithTheFirstObjectAndEndsWithTheLast) {
  ASSERT_EQ(LinkCleanup(), 0) << "a link object was left over from an earlier test";
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED);
  LinkConnection* first = LinkCreate();
  LinkConnection* second = LinkCreate();
  EXPECT_EQ(SocketOpenError(), 0);
  LinkRelease(first);
  EXPECT_EQ(SocketOpenError(), 0) << "one object still lives";
  LinkRelease(second);
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED);
  std::vector<unsigned char> buffer(static_cast<size_t>(LinkObjectSize()));
  EXPECT_EQ(LinkInitBuffer(buffer.data(), static_cast<int>(buffer.size()) - 1), nullptr);
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED) << "a refused buffer starts nothing";
  LinkConnection* own = LinkInitBuffer(buffer.data(), static_cast<int>(buffer.size()));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(SocketOpenError(), 0) << "the cycle repeats in one process";
  LinkRelease(own);
  EXPECT_EQ(SocketOpenError(), WSANOTINITIALISED);
}

// Wine binds as Linux does, so only the option itself shows here that Windows will refuse a second
// program the port: with SO_REUSEADDR Windows would hand it over, even a listening one.
TEST(LinkPorts, AreBoundForExclusiveUse) {
  LinkConnection* holder = LinkCreate();  // starts the socket library
  LinkSocket s = LinkNetSocket(LinkNetStream);
  ASSERT_NE(s, LinkNetInvalid);
  ASSERT_EQ(LinkNetSetReuseAddress(s), 0);
  auto option = [s](int name) {
    BOOL on = FALSE;
    int size = sizeof on;
    getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, name, reinterpret_cast<char*>(&on), &size);
    return on != FALSE;
  };
  EXPECT_TRUE(option(SO_EXCLUSIVEADDRUSE));
  EXPECT_FALSE(option(SO_REUSEADDR));
  LinkNetClose(s);
  LinkRelease(holder);
}

class FailingSelectTest : public LinkDirectoryTest {};

// The link's datagram socket is closed under its thread, so that every select fails at once.
TEST_F(FailingSelectTest, ThreadWaitsOutEachFailedSelectAndStillStops) {
  WriteFile("CMLLOG.INI", "RECORD=1\n");
  LinkConnection* link = LinkCreate();
  ASSERT_EQ(LinkConnect(link, "ethernet", "127.0.0.1", linktest::FreeTPort(), LinkFlagDatagramOnly), 0);
  ASSERT_TRUE(linktest::WaitFor([&] { return LinkLoad(link->threadRunning) != 0; }, 2000));
  LinkNetClose(LinkLoad(link->udpSocket));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LinkDisconnect(link), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(LinkLoad(link->threadRunning), 0u);
  LinkRelease(link);
  std::vector<std::uint8_t> records = ReadFile("cmlCRX10.bin");
  int failures = 0;
  for (size_t at = 0; at + RecordBytes <= records.size(); at += RecordBytes) {
    if (U16At(records, at + 2) != FailedSelectCode) continue;
    ++failures;
    EXPECT_EQ(U32At(records, at + 12), static_cast<std::uint32_t>(LinkErrNotSocket));
  }
  EXPECT_GE(failures, 2);
  EXPECT_LE(failures, 5) << "one failed select per half second, not a spin";
}

}  // namespace
