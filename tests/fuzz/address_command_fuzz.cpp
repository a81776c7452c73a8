// Fuzz target for the address helper's parameter parser: any text the helper may be handed (it runs as
// root) is either refused with a reason or read into a command that is safe to act on, and a command it
// accepts reads back the same from a parameter text built for it. The same bytes, read
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

std::string MaskText(int prefixLength) {
  std::uint32_t bits = prefixLength == 0 ? 0 : ~std::uint32_t(0) << (32 - prefixLength);
  std::uint8_t mask[4] = {std::uint8_t(bits >> 24), std::uint8_t(bits >> 16), std::uint8_t(bits >> 8),
                          std::uint8_t(bits)};
  return DottedQuad(mask);
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
    Check(command.prefixLength >= 8 && command.prefixLength <= 30);
    Check(command.address[0] >= 1 && command.address[0] <= 223 && command.address[0] != 127);
    rebuilt = "interface ip set address name=\"" + command.adapterName + "\" static " + DottedQuad(command.address) +
              " " + MaskText(command.prefixLength) + " ";
  }
  AddressCommand again;
  Check(ParseAddressCommand(rebuilt, again, error));
  Check(SameCommand(command, again));
  return 0;
}
