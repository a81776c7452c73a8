// Fuzz target for the address helper's parameter parser: any text the helper may be handed (it runs as
// root) is either refused with a reason or read into one of the commands the IP set-up dialog builds, and
// a command it accepts reads back the same from a parameter text built for it. The same bytes, read
// as ifupdown's interfaces file, have the interface's stanzas commented out and nothing else changed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sysutil/address_command.h"
#include "address_store_linux.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameCommand(const AddressCommand& a, const AddressCommand& b) {
  return a.adapterName == b.adapterName && a.dhcp == b.dhcp && a.prefixLength == b.prefixLength &&
         DottedQuad(a.address) == DottedQuad(b.address);
}

// Every line is kept, either as it was or behind the mark that disables it.
void CheckStanzasDisabled(const std::string& text) {
  bool changed = false;
  const std::string out = WithoutInetStanzas(text, "eth0", changed);
  Check(changed || out == text);
  const std::string mark = "#tavik-setip# ";
  std::size_t in = 0, at = 0;
  while (in < text.size()) {
    if (out.compare(at, mark.size(), mark) == 0 && text.compare(in, mark.size(), mark) != 0) at += mark.size();
    std::size_t end = text.find('\n', in);
    std::size_t length = (end == std::string::npos ? text.size() : end + 1) - in;
    Check(out.compare(at, length, text, in, length) == 0);
    in += length;
    at += length;
  }
  Check(at == out.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckStanzasDisabled(text);
  AddressCommand command;
  std::string error;
  if (!ParseAddressCommand(text, command, error)) {
    Check(!error.empty());
    return 0;
  }
  Check(!command.adapterName.empty());
  for (unsigned char c : command.adapterName) Check(c >= 0x20 && c != 0x7f && c != '"');
  std::string rebuilt;
  if (command.dhcp) {
    rebuilt = "interface ip set address name=\"" + command.adapterName + "\" dhcp";
  } else {
    Check(command.prefixLength == DialogPrefixLength && command.address[0] == 192 && command.address[1] == 168);
    Check(command.address[2] <= LastAddressGroup);
    Check(command.address[3] == TherapistHost || command.address[3] == ClientHost);
    rebuilt = "interface ip set address name=\"" + command.adapterName + "\" static " + DottedQuad(command.address) +
              " 255.255.255.0 ";
  }
  AddressCommand again;
  Check(ParseAddressCommand(rebuilt, again, error));
  Check(SameCommand(command, again));
  return 0;
}
