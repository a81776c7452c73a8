// The device type and source class tables of the suite's input sources.
#include "device_types.h"

#include <cctype>
#include <cstdint>
#include <cstring>

const DeviceTypeRow DeviceTypeTable[DeviceTypeRowCount] = {
    {"ProSB", 1, "ProComp", 1, 1},
    {"TTUSB", 2, "TTUSB", 5, 0},
    {"A/D", 10, "ADC", 2, 0},
    {"BrainLynx", 20, "BrainLynx", 3, 0},
    {"C2+mini", 21, "C2+mini", 3, 0},
    {"C2+", 22, "C2+", 3, 0},
    {"Spectrum2", 20, "Spectrum2", 3, 0},
    {"Spectrum4", 20, "Spectrum4", 3, 0},
    {"J202", 20, "Spectrum2", 3, 0},
    {"J404", 20, "Spectrum4", 3, 0},
    {"C2mini", 23, "C2mini", 3, 0},
    {"C2", 24, "C2", 3, 0},
    {"GP+", 25, "GP+", 3, 0},
    {"GP", 26, "GP", 3, 0},
    {"GP8", 26, "GP8", 3, 0},
    {"PET2.0", 30, "PET2.0", 6, 1},
    {"QPET", 31, "QPET", 9, 1},
    {"Pendant", 40, nullptr, 4, 1},
    {"BrainMaster", 50, "BrainMaster", 8, 1},
    {"Atlantis", 51, "Atlantis", 11, 1},
    {"esiPRO", 60, "esiPRO", 10, 0},
    {"A400", 60, "A400", 10, 0},
    {"A200", 60, "A200", 10, 0},
    {"A404", 60, "A400", 10, 0},
    {"A202", 60, "A200", 10, 0},
    {"Wiz", 70, "Wiz", 12, 0},
    {"Q20", 80, "Q20", 13, 0},
    {nullptr, 0, nullptr, 0, 0},
};

const char* const SourceClassNames[SourceClassNameCount] = {
    "Undef", "ProSB", "A/D",         "J&J",      "Pendant", "TTL", "PET2.0", "NP24",
    "Bmstr", "QPET",  "esiPRO/Axxx", "Atlantis", "Wiz",     "Q20", "Undef",  "Undef",
};

namespace {

const char* const OutOfRange = "OutaRange";

bool InRange(int row) { return row >= 0 && row < DeviceTypeRowCount; }

// Compares at most `span` characters ignoring case, stopping where both texts end.
bool EqualIgnoringCase(const char* a, const char* b, size_t span) {
  for (size_t i = 0; i < span; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
  return true;
}

bool BeginsWith(const char* text, const char* name, int length) {
  size_t span = length > 0 ? static_cast<size_t>(length) : std::strlen(name);
  return EqualIgnoringCase(text, name, span);
}

}  // namespace

int FindDeviceRow(const char* text, int length, int alternates) {
  if (text == nullptr) return 0;
  for (int row = 0; DeviceTypeTable[row].name != nullptr; ++row) {
    const DeviceTypeRow& entry = DeviceTypeTable[row];
    if (BeginsWith(text, entry.name, length)) return row;
    if (alternates && entry.alternateName && BeginsWith(text, entry.alternateName, length)) return row;
  }
  return 0;
}

const char* DeviceRowName(int row) { return InRange(row) ? DeviceTypeTable[row].name : OutOfRange; }
int DeviceRowCode(int row) { return InRange(row) ? DeviceTypeTable[row].code : 0; }
int DeviceRowClass(int row) { return InRange(row) ? DeviceTypeTable[row].sourceClass : 0; }
int DeviceRowMarker(int row) { return InRange(row) ? DeviceTypeTable[row].marker : 0; }

int SourceClassIndex(const char* name) {
  if (name == nullptr) return 0;
  for (int index = 0; index < SourceClassNameCount; ++index) {
    if (EqualIgnoringCase(SourceClassNames[index], name, SIZE_MAX)) return index;
  }
  return 0;
}

const char* SourceClassName(int index) {
  return index >= 0 && index < SourceClassNameCount ? SourceClassNames[index] : OutOfRange;
}
