// The two address changes that the IP set-up dialog asks of the network shell, read back from their
// parameter text and checked, so that the address helper applies nothing the dialog would not ask for:
//   interface ip set address name="NAME" static 192.168.GROUP.HOST 255.255.255.0
//   interface ip set address "NAME" dhcp
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The dialog's addresses: the network 192.168.GROUP.0/24 of the two computers, the therapist computer
// host 1 in it, the game computer host 2.
constexpr int FirstAddressGroup = 0;
constexpr int LastAddressGroup = 254;
constexpr int TherapistHost = 1;
constexpr int ClientHost = 2;
constexpr int DialogPrefixLength = 24;

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
// "name=" or plain), a static address only as the dialog builds it. On failure `error` says what is
// wrong.
bool ParseAddressCommand(const std::string& text, AddressCommand& out, std::string& error);

// A strict dotted IPv4 address: four decimal numbers 0 to 255, nothing else.
bool ParseDottedQuad(const std::string& text, std::uint8_t out[4]);

std::string DottedQuad(const std::uint8_t address[4]);
