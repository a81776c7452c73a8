// The two address changes that the IP set-up dialog asks of the network shell, read back from their
// parameter text and checked, so that the address helper applies nothing it does not fully understand:
//   interface ip set address name="NAME" static A.B.C.D M.M.M.M
//   interface ip set address "NAME" dhcp
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AddressCommand {
  std::string adapterName;
  bool dhcp = false;
  std::uint8_t address[4] = {0, 0, 0, 0};  // static only
  int prefixLength = 0;                     // static only: the mask's length in bits
};

// Splits the text at blanks; double quotes group blanks into a word and are dropped. False when a
// quote is left open.
bool SplitParameterText(const std::string& text, std::vector<std::string>& words);

// Reads and checks one of the two forms (words compared ignoring case, the name either tagged
// "name=" or plain). On failure `error` says what is wrong.
bool ParseAddressCommand(const std::string& text, AddressCommand& out, std::string& error);

// A strict dotted IPv4 address: four decimal numbers 0 to 255, nothing else.
bool ParseDottedQuad(const std::string& text, std::uint8_t out[4]);

// The length of a contiguous network mask, -1 when the mask is not contiguous.
int MaskPrefixLength(const std::uint8_t mask[4]);

std::string DottedQuad(const std::uint8_t address[4]);
