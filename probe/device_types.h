// The constant tables that turn a configured input source into a device code and a source class,
// with their bounds-checked lookups.
#pragma once

struct DeviceTypeRow {
  const char* name;           // matched against the input source; null in the terminator row
  int code;                   // tens digit selects the amplifier family
  const char* alternateName;  // null when the row has none
  int sourceClass;            // index into SourceClassNames
  int marker;                 // 0 or 1
};

// The amplifier families, each checked its own way: the tens digit of a device code.
enum AmplifierFamily {
  FamilySerialOrTtusb = 0,  // the serial ProSB encoder (code DeviceCodeProSb) or a TTUSB
  FamilyAnalog = 1,         // A/D: no check
  FamilyJJ = 2,             // the J&J amplifiers
  FamilyPet = 3,            // PET2.0 and QPET: no check
  FamilyPendant = 4,        // no check
  FamilyAtlantis = 5,       // BrainMaster and Atlantis/Discovery
  FamilyEsiPro = 6,         // esiPRO, A400, A200
  FamilyWiz = 7,
  FamilyQ20 = 8,  // PCAN-USB
};
constexpr int DeviceCodeProSb = 1;

// The family of a device code.
constexpr AmplifierFamily AmplifierFamilyOf(int deviceCode) { return static_cast<AmplifierFamily>(deviceCode / 10); }

constexpr int DeviceTypeRowCount = 28;  // the last row is the terminator
constexpr int SourceClassNameCount = 16;

extern const DeviceTypeRow DeviceTypeTable[DeviceTypeRowCount];
extern const char* const SourceClassNames[SourceClassNameCount];

// First row whose name (or, with alternates set, alternate name) begins `text`, ignoring case, over
// `length` characters or the row name's own length when `length` is 0; 0 when no row matches.
int FindDeviceRow(const char* text, int length, int alternates);

const char* DeviceRowName(int row);  // "OutaRange" outside 0..27, null for the terminator row
int DeviceRowCode(int row);
int DeviceRowClass(int row);
int DeviceRowMarker(int row);

int SourceClassIndex(const char* name);  // 0 when no name matches
const char* SourceClassName(int index);  // "OutaRange" outside 0..15
