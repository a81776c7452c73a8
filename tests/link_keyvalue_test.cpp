// The key/value lists: storing, matching, deleting, settings messages and the changed keys.
#include "link_keyvalue.h"

#include "link/link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

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
  EXPECT_EQ(LinkSetValue("RATE", "5"), 1);
  EXPECT_EQ(LinkSetValue("rate", "6"), 1);
  EXPECT_EQ(LinkSetValue("MODE", nullptr), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"rate=6", "MODE"}));
  EXPECT_STREQ(LinkFindValue("RATE"), "=6");
  EXPECT_STREQ(LinkFindValue("RATE="), "6");
  EXPECT_STREQ(LinkFindValue("mode"), "");
  EXPECT_EQ(LinkFindValue("SPEED"), nullptr);
  EXPECT_EQ(LinkFindValue(nullptr), nullptr);
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
  EXPECT_EQ(LinkSetValue("", "x"), 0);
  EXPECT_EQ(LinkSetValue(nullptr, "x"), 0);
  EXPECT_EQ(LinkSettingsEntries().size(), 1u);
  EXPECT_EQ(LinkFindValue(""), nullptr);
}

TEST_F(LinkKeyValueTest, DeleteRemovesTheFirstMatchOrEverything) {
  LinkSetValue("A", "1");
  LinkSetValue("B", "2");
  LinkSetValue("C", "3");
  LinkDeleteValue("b");
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"A=1", "C=3"}));
  LinkDeleteValue("");
  LinkDeleteValue("Z");
  EXPECT_EQ(LinkSettingsEntries().size(), 2u);
  LinkDeleteValue(nullptr);
  EXPECT_TRUE(LinkSettingsEntries().empty());
}

TEST_F(LinkKeyValueTest, SettingsMessageFillsBothLists) {
  LinkSetValue("B", "old");
  std::vector<std::uint8_t> message = SettingsMessage("A=1\nB\nC=3");
  EXPECT_EQ(LinkParseSettings(message.data()), 2);
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
  message = SettingsMessage(std::string("P=1\0Q=2", 7));
  EXPECT_EQ(LinkParseSettings(message.data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"P=1"}));
  EXPECT_EQ(LinkParseSettings(nullptr), 0);
}

TEST_F(LinkKeyValueTest, EmptyLinesAndEmptyKeysLeaveEntriesAlone) {
  LinkSetValue("FIRST", "1");
  std::vector<std::uint8_t> message = SettingsMessage("\n=5\nN=2\n\n");
  EXPECT_EQ(LinkParseSettings(message.data()), 1);
  EXPECT_EQ(LinkSettingsEntries(), (Texts{"FIRST=1", "N=2"}));
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"N"}));
}

TEST_F(LinkKeyValueTest, NewMessageReplacesTheChangedKeys) {
  std::vector<std::uint8_t> first = SettingsMessage("A=1\nB=2");
  LinkParseSettings(first.data());
  std::vector<std::uint8_t> second = SettingsMessage("C=1");
  LinkParseSettings(second.data());
  EXPECT_EQ(LinkChangedKeyEntries(), (Texts{"C"}));
  std::string longKey(300, 'k');
  std::vector<std::uint8_t> third = SettingsMessage(longKey + "=1");
  LinkParseSettings(third.data());
  EXPECT_EQ(std::strlen(LinkNextChangedKey()), 260u);
}

}  // namespace
