// The network shell's parameter text: built for the IP set-up dialog, read and checked for the address
// helper.
#include "netsetup/address_command.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

const std::uint8_t DialogMask[4] = {255, 255, 255, 0};
const std::string NameTag = "name=";

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Whether `text` begins with `prefix`, ignoring case as the network shell does.
bool StartsWithWord(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) { return Lower(a) == Lower(b); });
}

bool SameWord(const std::string& word, const std::string& expected) {
  return word.size() == expected.size() && StartsWithWord(word, expected);
}

// Splits the text at blanks outside double quotes; the quotes stay in their words, so that the name can
// be told apart from a tag or a quote inside it. False when a quote is left open.
bool SplitWords(const std::string& text, std::vector<std::string>& words) {
  std::string word;
  bool quoted = false;
  for (char c : text) {
    if (c == ' ' && !quoted) {
      if (!word.empty()) words.push_back(word);
      word.clear();
      continue;
    }
    if (c == '"') quoted = !quoted;
    word += c;
  }
  if (!word.empty()) words.push_back(word);
  return !quoted;
}

// The adapter name in its word: an optional "name=" tag, then the name quoted whole or without quotes.
bool ReadAdapterName(std::string word, std::string& name) {
  if (StartsWithWord(word, NameTag)) word.erase(0, NameTag.size());
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') word = word.substr(1, word.size() - 2);
  name = word;
  return IsQuotableAdapterName(name);
}

// Only what the dialog sets: host 1 or 2 of a network 192.168.GROUP.0/24.
bool CheckStaticAddress(AddressCommand& out, const std::string& addressText, const std::string& maskText,
                        std::string& error) {
  std::uint8_t mask[4];
  if (!ParseDottedQuad(addressText, out.address)) {
    error = "not an IPv4 address: " + addressText;
    return false;
  }
  if (!ParseDottedQuad(maskText, mask) || !std::equal(mask, mask + 4, DialogMask)) {
    error = "the IP set-up dialog sets only the network mask " + DottedQuad(DialogMask) + ", not " + maskText;
    return false;
  }
  const int group = out.address[2], host = out.address[3];
  if (out.address[0] != 192 || out.address[1] != 168 || group < FirstAddressGroup || group > LastAddressGroup ||
      (host != TherapistHost && host != ClientHost)) {
    error = "the IP set-up dialog sets only 192.168.N." + std::to_string(TherapistHost) + " or 192.168.N." +
            std::to_string(ClientHost) + " (N from " + std::to_string(FirstAddressGroup) + " to " +
            std::to_string(LastAddressGroup) + "), not " + addressText;
    return false;
  }
  out.prefixLength = DialogPrefixLength;
  return true;
}

}  // namespace

bool IsQuotableAdapterName(const std::string& name) {
  return !name.empty() &&
         std::none_of(name.begin(), name.end(), [](unsigned char c) { return c == '"' || c < 0x20 || c == 0x7f; });
}

std::string StaticAddressText(const std::string& adapterName, int group, int host) {
  return "interface ip set address " + NameTag + "\"" + adapterName + "\" static 192.168." + std::to_string(group) +
         "." + std::to_string(host) + " " + DottedQuad(DialogMask) + " ";
}

std::string DhcpAddressText(const std::string& adapterName) {
  return "interface ip set address \"" + adapterName + "\" dhcp";
}

bool ParseDottedQuad(const std::string& text, std::uint8_t out[4]) {
  int part = 0;
  std::size_t digits = 0;
  unsigned value = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : '.';
    if (std::isdigit(static_cast<unsigned char>(c))) {
      value = value * 10 + unsigned(c - '0');
      if (++digits > 3 || value > 255) return false;
      continue;
    }
    if (c != '.' || digits == 0 || part == 4) return false;
    out[part++] = static_cast<std::uint8_t>(value);
    value = 0;
    digits = 0;
  }
  return part == 4;
}

std::string DottedQuad(const std::uint8_t a[4]) {
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

bool ParseAddressCommand(const std::string& text, AddressCommand& out, std::string& error) {
  if (text.size() > NetshParameterLimit) {
    error = "longer than the " + std::to_string(NetshParameterLimit) + " characters the IP set-up dialog sends";
    return false;
  }
  std::vector<std::string> words;
  if (!SplitWords(text, words)) {
    error = "unbalanced double quote";
    return false;
  }
  bool lead = words.size() >= 6 && SameWord(words[0], "interface") && SameWord(words[1], "ip") &&
              SameWord(words[2], "set") && SameWord(words[3], "address");
  bool isDhcp = lead && words.size() == 6 && SameWord(words[5], "dhcp");
  bool isStatic = lead && words.size() == 8 && SameWord(words[5], "static");
  if (!isDhcp && !isStatic) {
    error =
        "expected: interface ip set address name=\"NAME\" static ADDRESS MASK, or "
        "interface ip set address \"NAME\" dhcp";
    return false;
  }
  out = AddressCommand();
  if (!ReadAdapterName(words[4], out.adapterName)) {
    error = "adapter name missing, not printable, or with a double quote inside it";
    return false;
  }
  out.dhcp = isDhcp;
  return isDhcp || CheckStaticAddress(out, words[6], words[7], error);
}
