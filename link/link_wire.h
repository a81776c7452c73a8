// Little-endian field access inside link messages and records, independent of the host's byte order.
#pragma once

#include <cstdint>

inline std::uint16_t LinkGetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

inline std::uint32_t LinkGetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void LinkPutU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void LinkPutU32(std::uint8_t* p, std::uint32_t v) {
  LinkPutU16(p, v);
  LinkPutU16(p + 2, v >> 16);
}
