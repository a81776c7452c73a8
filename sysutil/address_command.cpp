// Reading and checking the network shell's parameter text for the address helper.
#include "sysutil/address_command.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

namespace {

const std::uint8_t DialogMask[4] = {255, 255, 255, 0};

bool SameWord(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
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

bool SplitParameterText(const std::string& text, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return !quoted;
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
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
         std::to_string(a[3]);
}

bool ParseAddressCommand(const std::string& text, AddressCommand& out, std::string& error) {
  std::vector<std::string> words;
  if (!SplitParameterText(text, words)) {
    error = "unbalanced double quote";
    return false;
  }
  bool lead = words.size() >= 6 && SameWord(words[0], "interface") && SameWord(words[1], "ip") &&
              SameWord(words[2], "set") && SameWord(words[3], "address");
  bool isDhcp = lead && words.size() == 6 && SameWord(words[5], "dhcp");
  bool isStatic = lead && words.size() == 8 && SameWord(words[5], "static");
  if (!isDhcp && !isStatic) {
    error = "expected: interface ip set address name=\"NAME\" static ADDRESS MASK, or "
            "interface ip set address \"NAME\" dhcp";
    return false;
  }
  out = AddressCommand();
  out.adapterName = strncasecmp(words[4].c_str(), "name=", 5) == 0 ? words[4].substr(5) : words[4];
  if (out.adapterName.empty() || HasControlCharacter(out.adapterName)) {
    error = "adapter name missing or not printable";
    return false;
  }
  out.dhcp = isDhcp;
  return isDhcp || CheckStaticAddress(out, words[6], words[7], error);
}
