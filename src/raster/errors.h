// Exceptions of the converter. Every error carries the exact text shown to the user; the
// system's own classes (EInvalidGraphic, EMagError, EPngError, EJPEG, ...) derive from Exception.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pamirune {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A graphic that cannot be handled: unknown extension, bad pixel format, bad BMP data.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// An operation a graphic kind does not support (for example a size change it refuses).
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// Failure of the operating system (file open, write, rename).
class EOSError : public Exception {
 public:
  using Exception::Exception;
};

// An image larger than the pixel limit, refused before anything is allocated.
class EImageTooLarge : public Exception {
 public:
  using Exception::Exception;
};

// Refuses an image of width x height pixels as too large, with the size in the message.
[[noreturn]] inline void ThrowImageTooLarge(int64_t width, int64_t height) {
  throw EImageTooLarge("画像が大きすぎます (" + std::to_string(width) + " x " +
                       std::to_string(height) + ")");
}

}  // namespace pamirune
