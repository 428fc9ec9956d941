// Errors of the PDF writer and the report layer. Each carries the exact text the writer gives.
#pragma once

#include "raster/errors.h"

namespace pamirune {

// A plain writer error; the three kinds below derive from it.
class EPdfError : public Exception {
 public:
  using Exception::Exception;
};

// An operation the current state does not allow (no document open, a property changed while a
// document is open, ...).
class EPdfInvalidOperation : public EPdfError {
 public:
  using EPdfError::EPdfError;
};

// A value out of range or of the wrong kind.
class EPdfInvalidValue : public EPdfError {
 public:
  using EPdfError::EPdfError;
};

// A picture the image objects cannot take.
class EPdfInvalidImageFormat : public EPdfError {
 public:
  using EPdfError::EPdfError;
};

}  // namespace pamirune
