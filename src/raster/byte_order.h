// Little- and big-endian 16- and 32-bit fields, read from and written into byte buffers.
// None of them checks bounds: callers check the length first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pamirune {

constexpr uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
constexpr uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint16_t GetBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
constexpr uint32_t GetBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// The same at a byte offset into a buffer.
constexpr uint16_t GetLe16(std::span<const uint8_t> bytes, size_t at) {
  return GetLe16(bytes.data() + at);
}
constexpr uint32_t GetLe32(std::span<const uint8_t> bytes, size_t at) {
  return GetLe32(bytes.data() + at);
}
constexpr uint32_t GetBe32(std::span<const uint8_t> bytes, size_t at) {
  return GetBe32(bytes.data() + at);
}

// Writes the low 16 or all 32 bits of v at p.
constexpr void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutLe16(p + 2, v >> 16);
}

// Appends the low 16 or all 32 bits of v to out.
inline void AppendLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  AppendLe16(out, v);
  AppendLe16(out, v >> 16);
}
inline void AppendBe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void AppendBe32(std::vector<uint8_t>& out, uint32_t v) {
  AppendBe16(out, v >> 16);
  AppendBe16(out, v);
}

}  // namespace pamirune
