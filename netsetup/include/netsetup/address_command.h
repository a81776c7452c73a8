// The parameter text of the two address changes that the IP set-up dialog asks of the network shell,
// built for the dialog and read back and checked for the address helper in this one place, so that the
// helper applies nothing the dialog would not ask for and refuses whatever the dialog refuses:
//   interface ip set address name="NAME" static 192.168.GROUP.HOST 255.255.255.0
//   interface ip set address "NAME" dhcp
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The dialog's addresses: the network 192.168.GROUP.0/24 of the two computers, the therapist computer
// host 1 in it, the game computer host 2.
constexpr int FirstAddressGroup = 0;
constexpr int LastAddressGroup = 254;
constexpr int TherapistHost = 1;
constexpr int ClientHost = 2;
constexpr int DialogPrefixLength = 24;
// The longest parameter text the dialog hands to the network shell.
constexpr std::size_t NetshParameterLimit = 250;

// The address helper's exit statuses, which the network shell reports; its message says the same in
// words.
constexpr int AddressChanged = 0;        // the new address is in place (and kept, unless none keeps any)
constexpr int AddressBadParameters = 1;  // nothing was done
constexpr int AddressUnchanged = 2;      // the change failed before the old address was touched
constexpr int AddressRestored = 3;       // the change failed half-way; the old address was put back
constexpr int AddressLost = 4;           // the change failed and the old address could not be put back
constexpr int AddressNotKept = 5;        // the new address is in place, but will not survive a restart

struct AddressCommand {
  std::string adapterName;
  bool dhcp = false;
  std::uint8_t address[4] = {0, 0, 0, 0};  // static only
  int prefixLength = 0;                    // static only: the mask's length in bits
};

// Whether an adapter name can go between double quotes: not empty, no double quote, no control character.
bool IsQuotableAdapterName(const std::string& name);

// The dialog's texts for a static address (host `host` of the network 192.168.`group`.0/24) and for DHCP.
// They are what the network shell is handed only when the name is quotable and the text within
// NetshParameterLimit; ParseAddressCommand refuses any other.
std::string StaticAddressText(const std::string& adapterName, int group, int host);
std::string DhcpAddressText(const std::string& adapterName);

// Reads and checks one of the two forms (words compared ignoring case, the name either tagged "name="
// or plain, and either quoted whole or holding no quote), a static address only as the dialog builds
// it, a text no longer than NetshParameterLimit. Returns false, with `error` saying what is wrong, for
// anything else.
bool ParseAddressCommand(const std::string& text, AddressCommand& out, std::string& error);

// A strict dotted IPv4 address: four decimal numbers 0 to 255, nothing else. Returns whether it was one.
bool ParseDottedQuad(const std::string& text, std::uint8_t out[4]);

// "a.b.c.d".
std::string DottedQuad(const std::uint8_t address[4]);
