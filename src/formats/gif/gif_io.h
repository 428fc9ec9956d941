// Small byte helpers shared by the GIF items (private to the folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/gif/gif.h"
#include "raster/byte_order.h"

namespace pamirune::gif_io {

// A fixed-size field: "Premature end of data" when the stream holds fewer bytes.
inline void ReadExact(TStream& stream, void* buffer, size_t count) {
  if (stream.Read(buffer, count) != count) throw EGIFError(gif_msg::kPrematureEnd);
}
inline uint8_t ReadByte(TStream& stream) {
  uint8_t value = 0;
  ReadExact(stream, &value, 1);
  return value;
}
// The next byte without consuming it; -1 at the end of the stream.
inline int PeekByte(TStream& stream) {
  uint8_t value = 0;
  const int64_t position = stream.Position();
  if (stream.Read(&value, 1) != 1) return -1;
  stream.Seek(position);
  return value;
}
inline void WriteByte(TStream& stream, uint8_t value) { stream.Write(&value, 1); }
inline void Write16(TStream& stream, uint16_t value) {
  uint8_t bytes[2];
  PutLe16(bytes, value);
  stream.Write(bytes, 2);
}
// Moves forward by count bytes; "Premature end of data" past the end.
inline void Skip(TStream& stream, int64_t count) {
  if (stream.Remaining() < count) throw EGIFError(gif_msg::kPrematureEnd);
  stream.Seek(stream.Position() + count);
}

// Data sub-blocks up to the terminator, concatenated.
std::string ReadSubBlockData(TStream& stream);
// Bytes as sub-blocks of at most 255 bytes (no terminator; nothing for empty bytes).
void WriteSubBlockData(TStream& stream, const std::string& bytes);
// Lines joined by CR LF, and split again at CR LF, LF or CR.
std::string JoinLines(const std::vector<std::string>& lines);
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace pamirune::gif_io
