// Connection objects: creation, registry of 16, the object count, release of foreign pointers, user
// buffers, classes, handles and the debug lines of the object layer; and the key/value lists the library
// keeps beside them: storing, matching, deleting, settings messages and the changed keys.
#include "link_object.h"

#include "link/link.h"
#include "link_keyvalue.h"
#include "link_record.h"
#include "link_test_support.h"
#include "link_transport.h"

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

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

// Memory aligned for the record and one byte larger, owned by the test: ASan reports a release that frees it.
struct alignas(LinkConnection) RecordMemory {
  std::uint8_t bytes[sizeof(LinkConnection) + 1];
};

std::vector<int> ClassTable(const LinkConnection* link) { return {link->classOf, link->classOf + 256}; }

TEST_F(LinkObjectTest, NewObjectIsZeroExceptTheDefaultDatagramCodes) {
  LinkConnection* link = Create();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(LinkObjectSize(), static_cast<int>(sizeof(LinkConnection)));
  EXPECT_EQ((std::tuple{link->userBuffer, link->status, link->streamSeq, link->queues[0].count, link->comPort}),
            (std::tuple{0, 0, 0u, 0, 0}));
  EXPECT_EQ(link->queues[1].slots[95], nullptr);
  std::vector<int> defaults(256, ClassStream);
  std::fill(defaults.begin() + 160, defaults.begin() + 176, ClassDatagram);
  defaults[239] = ClassDatagram;
  EXPECT_EQ(ClassTable(link), defaults);
}

TEST_F(LinkObjectTest, SeventeenthObjectIsReturnedButNotRegistered) {
  for (int i = 0; i < 16; ++i) {
    LinkConnection* link = Create();
    EXPECT_EQ((std::tuple{LinkIsValid(link), LinkRegistryIndex(link)}), (std::tuple{1, i}));
  }
  LinkConnection* extra = LinkCreate();
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(
      (std::tuple{LinkIsValid(extra), LinkIsInvalid(extra, 5), LinkSetLineWatch(extra, 1), LinkDisconnect(extra)}),
      (std::tuple{0, 1, -1, 0}));
  EXPECT_EQ(LinkObjectCount(), 17);
  LinkRelease(extra);  // freed all the same: ASan reports a leak otherwise
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkRegistryHighest()}), (std::tuple{16, 15}));
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
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkCleanup()}), (std::tuple{2, 2}));
  LinkRelease(first);
  LinkRelease(second);
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkCurrentLogSettings().record}), (std::tuple{0, LinkRecordUnread}));
  LinkConnection* again = LinkCreate();
  EXPECT_EQ((std::tuple{LinkObjectCount(), LinkRegistryIndex(again)}), (std::tuple{1, 0}));
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
  EXPECT_EQ((std::tuple{LinkIsValid(other), LinkIsValid(&stranger), LinkIsValid(nullptr), LinkIsInvalid(nullptr, 0)}),
            (std::tuple{1, 0, 0, 1}));
}

TEST_F(LinkObjectTest, UserBufferIsCheckedInitialisedAndNeverFreed) {
  auto block = std::make_unique<RecordMemory>();
  std::uint8_t* memory = block->bytes;
  int size = LinkObjectSize();
  EXPECT_TRUE(LinkInitBuffer(nullptr, size) == nullptr && LinkInitBuffer(memory, size - 1) == nullptr);
  EXPECT_EQ(LinkInitBuffer(memory + 1, size), nullptr) << "misaligned for the record";
  EXPECT_EQ(LinkObjectCount(), 0);

  std::memset(memory, 0xAB, sizeof(LinkConnection));
  LinkConnection* link = LinkInitBuffer(memory, size);
  ASSERT_EQ(static_cast<void*>(link), memory);
  EXPECT_EQ((std::tuple{link->userBuffer, link->status, link->classOf[239], LinkIsValid(link)}),
            (std::tuple{1, 0, ClassDatagram, 1}));
  EXPECT_EQ(LinkInitBuffer(memory, size), nullptr) << "a live object is not wiped";
  EXPECT_EQ(LinkObjectCount(), 1);
  LinkRelease(link);  // not freed: the test owns the memory
  EXPECT_EQ((std::tuple{LinkIsValid(link), LinkObjectCount()}), (std::tuple{0, 0}));
  link = LinkInitBuffer(memory, size);  // the same memory may be initialised again once released
  EXPECT_EQ(LinkIsValid(link), 1);
  LinkRelease(link);
}

TEST_F(LinkObjectTest, SetClassCoversTheInclusiveRangeOfLowBytes) {
  LinkConnection* link = Create();
  std::vector<int> want = ClassTable(link);  // every code of a range, and nothing beside it
  LinkSetClass(link, 144, 191, ClassDatagram);
  std::fill(want.begin() + 144, want.begin() + 192, ClassDatagram);
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(link, 200, 199, ClassLatest);
  EXPECT_EQ(ClassTable(link), want) << "an empty range";
  LinkSetClass(link, 130, 130, ClassBroadcast);
  want[130] = ClassBroadcast;
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(link, 250, 0x1FB, ClassLatest);  // only the low byte of the last code counts: 251
  want[250] = want[251] = ClassLatest;
  EXPECT_EQ(ClassTable(link), want);
  LinkSetClass(nullptr, 0, 255, 1);
}

TEST_F(LinkObjectTest, SerialSettingsOfTheObject) {
  LinkConnection* link = Create();
  EXPECT_EQ((std::tuple{LinkSetLineWatch(link, 3), LinkSetLineWatch(link, 0)}), (std::tuple{0, 3})) << "the one before";
  LinkSetSerialModes(link, 1, 2);
  EXPECT_EQ((std::tuple{link->shortFrames, link->rawMode}), (std::tuple{-1, 2}));
  EXPECT_NE(LinkGetShortFrames(link), 0);
  LinkSetTransport(link, &LinkSocketTransport);
  EXPECT_EQ((std::tuple{LinkGetShortFrames(link), LinkGetShortFrames(nullptr)}), (std::tuple{0, 0}))
      << "a socket link has no short frames";
  LinkSetSerialModes(nullptr, 1, 1);
}

TEST_F(LinkObjectTest, HandleTableCreatesFindsAndReleases) {
  EXPECT_EQ((std::tuple{LinkHandleSlot(8, 1), LinkHandleSlot(-1, 1)}), (std::tuple{-1, -1})) << "no such handles";
  std::intptr_t made = LinkHandleSlot(7, 1);
  LinkConnection* seven = LinkFromHandle(7);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(made, reinterpret_cast<std::intptr_t>(seven));
  EXPECT_EQ(LinkHandleSlot(7, 1), made) << "a filled entry is kept";
  EXPECT_TRUE(LinkFromHandle(8) == nullptr && LinkFromHandle(2) == nullptr);

  LinkSetClassByHandle(7, 128, 128, ClassLatest);
  EXPECT_EQ(seven->classOf[128], ClassLatest);
  EXPECT_EQ((std::tuple{LinkIsInvalidByHandle(7, 0), LinkIsInvalidByHandle(2, 0)}), (std::tuple{0, 1}));
  EXPECT_EQ((std::tuple{LinkDisconnectByHandle(2), LinkDisconnectByHandle(7)}), (std::tuple{0, 0}));

  LinkHandleSlot(1, 1);
  EXPECT_EQ(LinkObjectCount(), 2);
  EXPECT_EQ((std::tuple{LinkHandleSlot(3, 0), LinkObjectCount()}), (std::tuple{3, 0})) << "all released";
  EXPECT_EQ(LinkFromHandle(7), nullptr);

  LinkHandleSlot(4, 1);
  EXPECT_EQ((std::tuple{LinkHandleSlot(4, -1), LinkFromHandle(4), LinkObjectCount()}), (std::tuple{0, nullptr, 0}));
}

TEST_F(LinkObjectTest, ReleasingAHandleObjectDirectlyEmptiesItsHandle) {
  auto object = reinterpret_cast<LinkConnection*>(LinkHandleSlot(5, 1));
  LinkRelease(object);
  EXPECT_EQ((std::tuple{LinkFromHandle(5), LinkIsInvalidByHandle(5, 0)}), (std::tuple{nullptr, 1}));
}

TEST_F(LinkObjectTest, CleanupEmptiesTheListsOnlyWithoutObjects) {
  LinkSetValue("RATE", "5");
  LinkConnection* link = Create();
  EXPECT_EQ((std::tuple{LinkCleanup(), LinkSettingsEntries().size()}), (std::tuple{1, 1u}));
  LinkRelease(link);
  links_.clear();
  EXPECT_EQ((std::tuple{LinkCleanup(), LinkSettingsEntries().size()}), (std::tuple{0, 0u}));
}

TEST_F(LinkDirectoryTest, CreateAndReleaseWriteTheirDebugLines) {
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

using Texts = std::vector<std::string>;
using KeyValue = std::pair<const char*, const char*>;

class LinkKeyValueTest : public ::testing::Test {
 protected:
  void SetUp() override { LinkClearKeyValueLists(); }
  void TearDown() override { LinkClearKeyValueLists(); }
};

// A settings message: text length at offset 6, text from offset 8.
std::vector<std::uint8_t> SettingsMessage(const std::string& text, std::size_t room = 0) {
  std::vector<std::uint8_t> message(8 + text.size() + room, 0);
  message[0] = 0x80;
  message[6] = static_cast<std::uint8_t>(text.size());
  message[7] = static_cast<std::uint8_t>(text.size() >> 8);
  std::memcpy(message.data() + 8, text.data(), text.size());
  return message;
}

TEST_F(LinkKeyValueTest, SetReplacesTheEntryOfTheSameKey) {
  for (const KeyValue& entry : {KeyValue{"RATE", "5"}, {"rate", "6"}, {"MODE", nullptr}})
    EXPECT_EQ(LinkSetValue(entry.first, entry.second), 1) << entry.first;
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"rate=6", "MODE"}));
  EXPECT_STREQ(LinkFindValue("RATE"), "=6");
  EXPECT_STREQ(LinkFindValue("RATE="), "6");
  EXPECT_STREQ(LinkFindValue("mode"), "");
  EXPECT_TRUE(LinkFindValue("SPEED") == nullptr && LinkFindValue(nullptr) == nullptr);
}

TEST_F(LinkKeyValueTest, KeysMatchOverTheirOwnLength) {
  LinkSetValue("KEYBOARD", "1");
  EXPECT_STREQ(LinkFindValue("KEY"), "BOARD=1");
  EXPECT_EQ(LinkFindValue("KEY="), nullptr);
  LinkSetValue("KEY", "2");  // "KEY" matches the entry KEYBOARD=1 and replaces it
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"KEY=2"}));
}

TEST_F(LinkKeyValueTest, TextsThatDoNotFitOrHaveNoKeyAreNotStored) {
  std::string key(200, 'K');
  std::string value(78, 'v');  // 200 + 1 + 78 + terminator = 280
  EXPECT_EQ(LinkSetValue(key.c_str(), value.c_str()), 1);
  value += 'v';
  EXPECT_EQ(LinkSetValue(key.c_str(), value.c_str()), 0) << "one byte over 280";
  EXPECT_STREQ(LinkFindValue(key.c_str()), ("=" + value.substr(1)).c_str());
  EXPECT_EQ((std::tuple{LinkSetValue("", "x"), LinkSetValue(nullptr, "x")}), (std::tuple{0, 0})) << "no key";
  EXPECT_EQ(LinkSettingsEntries().size(), 1u);
  EXPECT_EQ(LinkFindValue(""), nullptr);
}

TEST_F(LinkKeyValueTest, DeleteRemovesTheFirstMatchOrEverything) {
  for (const KeyValue& entry : {KeyValue{"A", "1"}, {"B", "2"}, {"C", "3"}}) LinkSetValue(entry.first, entry.second);
  LinkDeleteValue("b");
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"A=1", "C=3"}));
  for (const char* nothing : {"", "Z"}) LinkDeleteValue(nothing);
  EXPECT_EQ(LinkSettingsEntries().size(), 2u);
  LinkDeleteValue(nullptr);
  EXPECT_TRUE(LinkSettingsEntries().empty());
}

TEST_F(LinkKeyValueTest, SettingsMessageFillsBothLists) {
  LinkSetValue("B", "old");
  EXPECT_EQ(LinkParseSettings(SettingsMessage("A=1\nB\nC=3").data()), 2);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"B", "A=1", "C=3"}));
  EXPECT_STREQ(LinkFindValue("A"), "=1");
  EXPECT_STREQ(LinkNextChangedKey(), "A");
  EXPECT_STREQ(LinkNextChangedKey(), "C");
  EXPECT_EQ(LinkNextChangedKey(), nullptr);
}

TEST_F(LinkKeyValueTest, SettingsMessageStopsAtItsLengthOrNul) {
  std::vector<std::uint8_t> message = SettingsMessage("X=1\nY=2", 8);
  std::memcpy(message.data() + 15, "\nZ=3", 4);  // beyond the text length: not read
  EXPECT_EQ(LinkParseSettings(message.data()), 2);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"X=1", "Y=2"}));

  LinkClearKeyValueLists();
  EXPECT_EQ(LinkParseSettings(SettingsMessage(std::string("P=1\0Q=2", 7)).data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"P=1"}));
  EXPECT_EQ(LinkParseSettings(nullptr), 0);
}

TEST_F(LinkKeyValueTest, EmptyLinesAndEmptyKeysLeaveEntriesAlone) {
  LinkSetValue("FIRST", "1");
  EXPECT_EQ(LinkParseSettings(SettingsMessage("\n=5\nN=2\n\n").data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"FIRST=1", "N=2"}));
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"N"}));
}

TEST_F(LinkKeyValueTest, NewMessageReplacesTheChangedKeys) {
  LinkParseSettings(SettingsMessage("A=1\nB=2").data());
  LinkParseSettings(SettingsMessage("C=1").data());
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"C"}));
  LinkParseSettings(SettingsMessage(std::string(300, 'k') + "=1").data());
  EXPECT_EQ(std::strlen(LinkNextChangedKey()), 260u);
}

}  // namespace
