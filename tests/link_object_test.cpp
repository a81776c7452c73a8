// Connection objects: creation, registry of 16, the object count, release of foreign pointers, user
// buffers, classes, handles and the debug lines of the object layer.
#include "link_object.h"

#include "link/link.h"
#include "link_keyvalue.h"
#include "link_record.h"
#include "link_test_support.h"
#include "link_transport.h"

#include <cstring>
#include <memory>

namespace {

class LinkObjectTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LinkHandleSlot(0, 0);
    for (LinkConnection* link : links_) LinkRelease(link);
    EXPECT_EQ(LinkObjectCount(), 0);
  }
  LinkConnection* Create() {
    LinkConnection* link = LinkCreate();
    links_.push_back(link);
    return link;
  }
  std::vector<LinkConnection*> links_;
};

// Memory aligned for the record and one byte larger than it, owned by the test: a release that freed it
// would make ASan report a mismatched free.
struct alignas(LinkConnection) RecordMemory {
  std::uint8_t bytes[sizeof(LinkConnection) + 1];
};

TEST_F(LinkObjectTest, NewObjectIsZeroExceptTheDefaultDatagramCodes) {
  LinkConnection* link = Create();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(LinkObjectSize(), static_cast<int>(sizeof(LinkConnection)));
  EXPECT_EQ(link->userBuffer, 0);
  EXPECT_EQ(link->status, 0);
  EXPECT_EQ(link->streamSeq, 0u);
  EXPECT_EQ(link->queues[0].count, 0);
  EXPECT_EQ(link->queues[1].slots[95], nullptr);
  EXPECT_EQ(link->comPort, 0);
  for (int code = 0; code < 256; ++code) {
    bool datagram = (code >= 160 && code <= 175) || code == 239;
    EXPECT_EQ(link->classOf[code], datagram ? ClassDatagram : ClassStream) << "code " << code;
  }
}

TEST_F(LinkObjectTest, SeventeenthObjectIsReturnedButNotRegistered) {
  for (int i = 0; i < 16; ++i) {
    LinkConnection* link = Create();
    EXPECT_EQ(LinkIsValid(link), 1);
    EXPECT_EQ(LinkRegistryIndex(link), i);
  }
  LinkConnection* extra = LinkCreate();
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(LinkIsValid(extra), 0);
  EXPECT_EQ(LinkIsInvalid(extra, 5), 1);
  EXPECT_EQ(LinkSetLineWatch(extra, 1), -1);
  EXPECT_EQ(LinkDisconnect(extra), 0);
  EXPECT_EQ(LinkObjectCount(), 17);
  LinkRelease(extra);  // freed all the same: ASan reports a leak otherwise
  EXPECT_EQ(LinkObjectCount(), 16);
  EXPECT_EQ(LinkRegistryHighest(), 15);
}

TEST_F(LinkObjectTest, RegistryEntriesAreReusedLowestFirst) {
  LinkConnection* entry[16];
  for (auto& link : entry) link = LinkCreate();
  EXPECT_EQ(LinkRegistryHighest(), 15);
  LinkRelease(entry[3]);
  EXPECT_EQ(LinkRegistryHighest(), 15);
  entry[3] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[3]), 3);

  LinkRelease(entry[14]);
  LinkRelease(entry[15]);  // the highest: the highest index in use drops by one only
  EXPECT_EQ(LinkRegistryHighest(), 14);
  entry[14] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[14]), 14);
  entry[15] = LinkCreate();
  EXPECT_EQ(LinkRegistryIndex(entry[15]), 15) << "the registry grows again up to 16";
  for (auto* link : entry) LinkRelease(link);
}

TEST_F(LinkObjectTest, ObjectCountCyclesAndMarksTheLogSettingsUnread) {
  EXPECT_EQ(LinkObjectCount(), 0);
  LinkConnection* first = LinkCreate();
  LinkConnection* second = LinkCreate();
  EXPECT_EQ(LinkObjectCount(), 2);
  EXPECT_EQ(LinkCleanup(), 2);
  LinkRelease(first);
  LinkRelease(second);
  EXPECT_EQ(LinkObjectCount(), 0);
  EXPECT_EQ(LinkCurrentLogSettings().record, LinkRecordUnread);
  LinkConnection* again = LinkCreate();
  EXPECT_EQ(LinkObjectCount(), 1);
  EXPECT_EQ(LinkRegistryIndex(again), 0);
  LinkRelease(again);
}

TEST_F(LinkObjectTest, ReleaseIgnoresPointersTheLibraryDoesNotHold) {
  LinkConnection* link = LinkCreate();
  LinkConnection* other = Create();
  LinkRelease(link);
  LinkRelease(link);  // already released: no double free, the count is not lowered twice
  EXPECT_EQ(LinkObjectCount(), 1);
  LinkConnection stranger{};
  LinkRelease(&stranger);
  LinkRelease(nullptr);
  EXPECT_EQ(LinkObjectCount(), 1);
  EXPECT_EQ(LinkIsValid(other), 1);
  EXPECT_EQ(LinkIsValid(&stranger), 0);
  EXPECT_EQ(LinkIsValid(nullptr), 0);
  EXPECT_EQ(LinkIsInvalid(nullptr, 0), 1);
}

TEST_F(LinkObjectTest, UserBufferIsCheckedInitialisedAndNeverFreed) {
  auto block = std::make_unique<RecordMemory>();
  std::uint8_t* memory = block->bytes;
  int size = LinkObjectSize();
  EXPECT_EQ(LinkInitBuffer(nullptr, size), nullptr);
  EXPECT_EQ(LinkInitBuffer(memory, size - 1), nullptr);
  EXPECT_EQ(LinkInitBuffer(memory + 1, size), nullptr) << "misaligned for the record";
  EXPECT_EQ(LinkObjectCount(), 0);

  std::memset(memory, 0xAB, sizeof(LinkConnection));
  LinkConnection* link = LinkInitBuffer(memory, size);
  ASSERT_EQ(static_cast<void*>(link), memory);
  EXPECT_EQ(link->userBuffer, 1);
  EXPECT_EQ(link->status, 0);
  EXPECT_EQ(link->classOf[239], ClassDatagram);
  EXPECT_EQ(LinkIsValid(link), 1);
  EXPECT_EQ(LinkInitBuffer(memory, size), nullptr) << "a live object is not wiped";
  EXPECT_EQ(LinkObjectCount(), 1);
  LinkRelease(link);  // not freed: the test owns the memory
  EXPECT_EQ(LinkIsValid(link), 0);
  EXPECT_EQ(LinkObjectCount(), 0);
  link = LinkInitBuffer(memory, size);  // the same memory may be initialised again once released
  EXPECT_EQ(LinkIsValid(link), 1);
  LinkRelease(link);
}

TEST_F(LinkObjectTest, SetClassCoversTheInclusiveRangeOfLowBytes) {
  LinkConnection* link = Create();
  LinkSetClass(link, 144, 191, ClassDatagram);
  EXPECT_EQ(link->classOf[143], ClassStream);
  EXPECT_EQ(link->classOf[144], ClassDatagram);
  EXPECT_EQ(link->classOf[191], ClassDatagram);
  EXPECT_EQ(link->classOf[192], ClassStream);

  LinkSetClass(link, 200, 199, ClassLatest);
  EXPECT_EQ(link->classOf[199], ClassStream);
  EXPECT_EQ(link->classOf[200], ClassStream);
  LinkSetClass(link, 130, 130, ClassBroadcast);
  EXPECT_EQ(link->classOf[129], ClassStream);
  EXPECT_EQ(link->classOf[130], ClassBroadcast);
  EXPECT_EQ(link->classOf[131], ClassStream);
  LinkSetClass(link, 250, 0x1FB, ClassLatest);  // only the low byte of the last code counts: 251
  EXPECT_EQ(link->classOf[251], ClassLatest);
  EXPECT_EQ(link->classOf[252], ClassStream);
  LinkSetClass(nullptr, 0, 255, 1);
}

TEST_F(LinkObjectTest, SerialSettingsOfTheObject) {
  LinkConnection* link = Create();
  EXPECT_EQ(LinkSetLineWatch(link, 3), 0);
  EXPECT_EQ(LinkSetLineWatch(link, 0), 3);
  LinkSetSerialModes(link, 1, 2);
  EXPECT_EQ(link->shortFrames, -1);
  EXPECT_EQ(link->rawMode, 2);
  EXPECT_NE(LinkGetShortFrames(link), 0);
  LinkSetTransport(link, &LinkSocketTransport);
  EXPECT_EQ(LinkGetShortFrames(link), 0) << "a socket link has no short frames";
  EXPECT_EQ(LinkGetShortFrames(nullptr), 0);
  LinkSetSerialModes(nullptr, 1, 1);
}

TEST_F(LinkObjectTest, HandleTableCreatesFindsAndReleases) {
  EXPECT_EQ(LinkHandleSlot(8, 1), -1);
  EXPECT_EQ(LinkHandleSlot(-1, 1), -1);
  std::intptr_t made = LinkHandleSlot(7, 1);
  LinkConnection* seven = LinkFromHandle(7);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(made, reinterpret_cast<std::intptr_t>(seven));
  EXPECT_EQ(LinkHandleSlot(7, 1), made) << "a filled entry is kept";
  EXPECT_EQ(LinkFromHandle(8), nullptr);
  EXPECT_EQ(LinkFromHandle(2), nullptr);

  LinkSetClassByHandle(7, 128, 128, ClassLatest);
  EXPECT_EQ(seven->classOf[128], ClassLatest);
  EXPECT_EQ(LinkIsInvalidByHandle(7, 0), 0);
  EXPECT_EQ(LinkIsInvalidByHandle(2, 0), 1);
  EXPECT_EQ(LinkDisconnectByHandle(2), 0);
  EXPECT_EQ(LinkDisconnectByHandle(7), 0);

  LinkHandleSlot(1, 1);
  EXPECT_EQ(LinkObjectCount(), 2);
  EXPECT_EQ(LinkHandleSlot(3, 0), 3);
  EXPECT_EQ(LinkObjectCount(), 0);
  EXPECT_EQ(LinkFromHandle(7), nullptr);

  LinkHandleSlot(4, 1);
  EXPECT_EQ(LinkHandleSlot(4, -1), 0);
  EXPECT_EQ(LinkFromHandle(4), nullptr);
  EXPECT_EQ(LinkObjectCount(), 0);
}

TEST_F(LinkObjectTest, ReleasingAHandleObjectDirectlyEmptiesItsHandle) {
  auto object = reinterpret_cast<LinkConnection*>(LinkHandleSlot(5, 1));
  LinkRelease(object);
  EXPECT_EQ(LinkFromHandle(5), nullptr);
  EXPECT_EQ(LinkIsInvalidByHandle(5, 0), 1);
}

TEST_F(LinkObjectTest, CleanupEmptiesTheListsOnlyWithoutObjects) {
  LinkSetValue("RATE", "5");
  LinkConnection* link = Create();
  EXPECT_EQ(LinkCleanup(), 1);
  EXPECT_EQ(LinkSettingsEntries().size(), 1u);
  LinkRelease(link);
  links_.clear();
  EXPECT_EQ(LinkCleanup(), 0);
  EXPECT_TRUE(LinkSettingsEntries().empty());
}

class LinkObjectDebugTest : public LinkDirectoryTest {};

TEST_F(LinkObjectDebugTest, CreateAndReleaseWriteTheirDebugLines) {
  LinkSetDebugFile("first.txt");
  LinkConnection* link = LinkCreate();
  unsigned address = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(link));
  LinkRelease(link);
  LinkSetDebugFile("second.txt");
  LinkDebugPrint("%s %d\n", "second", 2);
  LinkSetDebugFile(nullptr);
  LinkDebugPrint("not written anywhere\n");

  char expected[200];
  std::snprintf(expected, sizeof expected,
                "Alloc object : %x\nConnection status : 0\nFree  %x\nFree object was found\n", address, address);
  EXPECT_EQ(ReadText("first.txt"), expected);
  EXPECT_EQ(ReadText("second.txt"), "second 2\n");

  std::FILE* stream = std::tmpfile();
  LinkSetDebugStream(stream);
  LinkDebugPrint("x");
  LinkSetDebugFile(nullptr);  // closes only what it opened itself, and clears the stream
  LinkDebugPrint("y");
  EXPECT_EQ(std::ftell(stream), 1);
  std::fclose(stream);
}

}  // namespace
