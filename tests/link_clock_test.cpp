// The clocks: conversion of counter readings with their 32-bit wrap, and the running clocks.
#include "link_clock.h"

#include "link/link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

constexpr std::uint64_t twoTo32 = 1ull << 32;

TEST(LinkClockTest, MillisecondsTruncateAndWrapAt32Bits) {
  EXPECT_EQ(LinkCountToMilliseconds(1999999, 1000000000), 1u);
  EXPECT_EQ(LinkCountToMilliseconds(12345, 1000), 12345u);
  EXPECT_EQ(LinkCountToMilliseconds(twoTo32 + 5, 1000), 5u);
  EXPECT_EQ(LinkCountToMilliseconds((twoTo32 + 7) * 1000, 1000000), 7u);

  std::uint32_t before = LinkCountToMilliseconds(twoTo32 - 10, 1000);
  std::uint32_t after = LinkCountToMilliseconds(twoTo32 + 5, 1000);
  EXPECT_EQ(after - before, 15u) << "intervals across the wrap by unsigned subtraction";
}

TEST(LinkClockTest, MicrosecondsKeepFractionsAndTimestampsWrap) {
  EXPECT_DOUBLE_EQ(LinkCountToMicroseconds(1, 3), 1000000.0 / 3);
  EXPECT_DOUBLE_EQ(LinkCountToMicroseconds(twoTo32, 1000000), 4294967296.0);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(4294967296.0 + 7.9), 7u);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(41.99), 41u);
  std::uint32_t before = LinkMicrosecondsToTimestamp(4294967290.0);
  EXPECT_EQ(LinkMicrosecondsToTimestamp(4294967296.0 + 4) - before, 10u);
}

TEST(LinkClockTest, RunningClocksAdvanceInTheirUnits) {
  std::uint32_t startMs = LinkMilliseconds();
  double startUs = LinkMicroseconds();
  std::uint32_t startStamp = LinkTimestamp();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::uint32_t ms = LinkMilliseconds() - startMs;
  double us = LinkMicroseconds() - startUs;
  std::uint32_t stamp = LinkTimestamp() - startStamp;
  // Each in microseconds: the sleep, and not much more.
  for (double elapsed : {ms * 1000.0, us, static_cast<double>(stamp)}) {
    EXPECT_GE(elapsed, 49000.0);
    EXPECT_LT(elapsed, 2000000.0);
  }
  EXPECT_NE(LinkClockFrequency(), 0u);
}

}  // namespace
