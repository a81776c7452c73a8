// The key/value lists: storing, matching, deleting, settings messages and the changed keys.
#include "link_keyvalue.h"

#include "link/link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

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
