// The key/value lists: LinkSettingsList holds key=value entries (or bare keys), LinkChangedKeys the keys
// of the most recent settings message. Keys compare case-insensitively over the key's length.
#include "link_keyvalue.h"

#include "link/link.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <new>

namespace {

using TextList = std::list<std::string>;

TextList settingsList;  // LinkSettingsList
TextList changedKeys;   // LinkChangedKeys
char nextKeyText[261];  // LinkNextChangedKey's result, overwritten by the next call

constexpr std::size_t valueTextSize = 280;  // key, "=", value and the terminator
constexpr std::size_t nextKeyLength = 260;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the entry begins with the first length characters of key, ignoring case. An empty key
// matches nothing, so that an empty line can never stand for the first entry.
bool Matches(const std::string& entry, const char* key, std::size_t length) {
  if (length == 0 || entry.size() < length) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (Lower(entry[i]) != Lower(key[i])) return false;
  return true;
}

TextList::iterator Find(TextList& list, const char* key, std::size_t length) {
  for (auto it = list.begin(); it != list.end(); ++it)
    if (Matches(*it, key, length)) return it;
  return list.end();
}

// Replaces the entry with the same key as text, or appends text; nothing is stored without memory.
void Store(TextList& list, const std::string& text) {
  std::size_t keyLength = std::min(text.find('='), text.size());
  if (keyLength == 0) return;
  try {
    auto it = Find(list, text.c_str(), keyLength);
    if (it != list.end())
      *it = text;
    else
      list.push_back(text);
  } catch (const std::bad_alloc&) {
  }
}

void Remove(TextList& list, const char* key) {
  if (key == nullptr) {
    list.clear();
    return;
  }
  auto it = Find(list, key, std::strlen(key));
  if (it != list.end()) list.erase(it);
}

// Cuts one line of the message text in place and stores it; true when it was a key=value line.
bool TakeLine(char* line, std::size_t length) {
  std::string text(line, length);
  if (text.empty()) return false;
  Store(settingsList, text);
  std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  line[equals] = '\0';
  Store(changedKeys, text.substr(0, equals));
  return true;
}

}  // namespace

void LinkClearKeyValueLists() {
  settingsList.clear();
  changedKeys.clear();
}

std::vector<std::string> LinkSettingsEntries() { return {settingsList.begin(), settingsList.end()}; }

std::vector<std::string> LinkChangedKeyEntries() { return {changedKeys.begin(), changedKeys.end()}; }

int LinkSetValue(const char* key, const char* value) {
  if (key == nullptr || key[0] == '\0') return 0;
  std::string text = key;
  if (value != nullptr) text += std::string("=") + value;
  if (text.size() + 1 > valueTextSize) return 0;
  Store(settingsList, text);
  return 1;
}

const char* LinkFindValue(const char* key) {
  if (key == nullptr) return nullptr;
  std::size_t length = std::strlen(key);
  auto it = Find(settingsList, key, length);
  return it == settingsList.end() ? nullptr : it->c_str() + length;
}

void LinkDeleteValue(const char* key) { Remove(settingsList, key); }

int LinkParseSettings(void* message) {
  changedKeys.clear();
  if (message == nullptr) return 0;
  auto* bytes = static_cast<std::uint8_t*>(message);
  std::size_t textLength = bytes[6] | bytes[7] << 8;
  char* text = reinterpret_cast<char*>(bytes + 8);
  int count = 0;
  std::size_t start = 0;
  std::size_t at = 0;
  for (; at < textLength && text[at] != '\0'; ++at) {
    if (text[at] != '\n') continue;
    text[at] = '\0';
    count += TakeLine(text + start, at - start) ? 1 : 0;
    start = at + 1;
  }
  count += TakeLine(text + start, at - start) ? 1 : 0;
  return count;
}

const char* LinkNextChangedKey() {
  if (changedKeys.empty()) return nullptr;
  std::snprintf(nextKeyText, sizeof nextKeyText, "%.*s", static_cast<int>(nextKeyLength), changedKeys.front().c_str());
  changedKeys.pop_front();
  return nextKeyText;
}
