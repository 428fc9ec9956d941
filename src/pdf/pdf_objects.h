// The PDF value types (null, boolean, number, real, string, name, array, dictionary, stream,
// raw bytes, reference), the cross-reference table, header and trailer, and the written forms
// of numbers, names, strings and dates. Objects are built in memory; writing them is a
// separate pass into a TStream, whose position gives the cross-reference offsets.
#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/pdf_errors.h"
#include "raster/stream.h"

namespace pamirune {

class TPdfSpill;

// ---- Written forms -------------------------------------------------------------------------

// Appends text to the stream.
void PdfWrite(TStream& stream, std::string_view text);

// A real number in the general decimal form with up to 15 significant digits. The decimal
// separator is always "." and the exponent form is never used (PDF has no exponent syntax).
std::string FormatPdfReal(double value);
// A number of a content-stream operator: rounded to two decimals (value × 100 ± 0.5 truncated
// toward zero, divided by 100) and written in the shortest decimal form with ".".
std::string FormatPdfCanvasNumber(double value);
// "/" and the name, every byte below 0x21 or above 0x7E and each of # % ( ) / < > [ ] { }
// written as "#" and two uppercase hex digits.
std::string FormatPdfName(std::string_view name);
// A string: a literal string with ( ) \ CR LF TAB BS FF escaped when the text is plain ASCII;
// otherwise (UTF-8 text with any non-ASCII character) a hex string of UTF-16 code units after
// the byte-order mark and the language escape for "en".
std::string FormatPdfText(std::string_view text);
// Code points of UTF-8 text; every byte of a malformed sequence gives U+FFFD.
std::vector<uint32_t> PdfDecodeUtf8(std::string_view text);
// A literal string of raw bytes, escaped as above, never converted.
std::string FormatPdfLiteralBytes(std::string_view bytes);

// A local date and time. The zero value is the zero date of the system's date type.
struct TPdfDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const TPdfDateTime&) const = default;
};
// "D:" followed by year (4 digits), month, day, hour, minute, second (2 digits each).
std::string FormatPdfDate(const TPdfDateTime& date);
// The local time now.
TPdfDateTime PdfLocalNow();
// The clock the documents take "now" from; tests inject a fixed one.
using TPdfClock = std::function<TPdfDateTime()>;

// ---- Objects -------------------------------------------------------------------------------

enum class TPdfObjectType { otDirectObject, otIndirectObject, otVirtualObject };

class TPdfObject {
 public:
  TPdfObject(const TPdfObject&) = delete;
  TPdfObject& operator=(const TPdfObject&) = delete;
  virtual ~TPdfObject() = default;

  // -1 until the object is registered in the cross-reference table.
  int ObjectNumber() const { return object_number_; }
  int GenerationNumber() const { return 0; }
  TPdfObjectType ObjectType() const { return object_type_; }

  // Writes the object where it is used: indirect and virtual objects as a reference
  // ("12 0 R"), direct objects by value.
  void WriteToStream(TStream& stream);
  // Writes the value itself. Streams set their Length while writing, hence not const.
  virtual void WriteValueToStream(TStream& stream) = 0;

  // The written form (as WriteToStream gives it), for messages and tests.
  std::string ToString();

 protected:
  TPdfObject() = default;

 private:
  friend class TPdfXref;
  friend class TPdfVirtualObject;
  int object_number_ = -1;
  TPdfObjectType object_type_ = TPdfObjectType::otDirectObject;
};

class TPdfNull : public TPdfObject {
 public:
  void WriteValueToStream(TStream& stream) override;
};

class TPdfBoolean : public TPdfObject {
 public:
  explicit TPdfBoolean(bool value) : value_(value) {}
  bool Value() const { return value_; }
  void SetValue(bool value) { value_ = value; }
  void WriteValueToStream(TStream& stream) override;

 private:
  bool value_;
};

class TPdfNumber : public TPdfObject {
 public:
  explicit TPdfNumber(int32_t value) : value_(value) {}
  int32_t Value() const { return value_; }
  void SetValue(int32_t value) { value_ = value; }
  void WriteValueToStream(TStream& stream) override;

 private:
  int32_t value_;
};

class TPdfReal : public TPdfObject {
 public:
  explicit TPdfReal(double value) : value_(value) {}
  double Value() const { return value_; }
  void SetValue(double value) { value_ = value; }
  void WriteValueToStream(TStream& stream) override;

 private:
  double value_;
};

// A text string (UTF-8).
class TPdfText : public TPdfObject {
 public:
  explicit TPdfText(std::string value) : value_(std::move(value)) {}
  const std::string& Value() const { return value_; }
  void SetValue(std::string value) { value_ = std::move(value); }
  void WriteValueToStream(TStream& stream) override;

 private:
  std::string value_;
};

// A name, held without its slash.
class TPdfName : public TPdfObject {
 public:
  explicit TPdfName(std::string value) : value_(std::move(value)) {}
  const std::string& Value() const { return value_; }
  void WriteValueToStream(TStream& stream) override;

 private:
  std::string value_;
};

// Raw bytes, written as they are.
class TPdfBinary : public TPdfObject {
 public:
  TPdfBinary() = default;
  explicit TPdfBinary(std::string bytes) : bytes_(std::move(bytes)) {}
  const std::string& Bytes() const { return bytes_; }
  std::string& Bytes() { return bytes_; }
  void WriteValueToStream(TStream& stream) override;

 private:
  std::string bytes_;
};

// A reference to an indirect object. Only the numbered constructor makes one.
class TPdfVirtualObject : public TPdfObject {
 public:
  // Refused: a reference needs the number of the object it refers to.
  TPdfVirtualObject();
  static std::unique_ptr<TPdfVirtualObject> CreateVirtual(int object_number);
  void WriteValueToStream(TStream& stream) override;

 private:
  struct Numbered {};
  TPdfVirtualObject(Numbered, int object_number);
};

// Stores a reference to object when it is indirect (or already a reference), else nullptr.
std::unique_ptr<TPdfObject> PdfReferenceTo(const TPdfObject& object);

class TPdfArray : public TPdfObject {
 public:
  TPdfArray() = default;

  // Adds a direct object (or a reference). An object the array holds already is ignored.
  void Add(std::unique_ptr<TPdfObject> object);
  // Adds a reference to an indirect object, which stays owned by the cross-reference table.
  void AddReference(const TPdfObject& indirect);
  // Replaces item index (0-based); raises EPdfInvalidValue when out of range.
  void SetItem(size_t index, std::unique_ptr<TPdfObject> object);
  void Clear() { items_.clear(); }

  size_t ItemCount() const { return items_.size(); }
  TPdfObject* Items(size_t index) const { return items_.at(index).get(); }
  // True when the array holds the name value.
  bool HasName(std::string_view value) const;

  void WriteValueToStream(TStream& stream) override;

 private:
  std::vector<std::unique_ptr<TPdfObject>> items_;
};

struct TPdfDictionaryElement {
  std::string key;
  std::unique_ptr<TPdfObject> value;
  bool hidden = false;
};

class TPdfDictionary : public TPdfObject {
 public:
  TPdfDictionary() = default;

  // Sets key to a direct object (or a reference): any element of that key is removed first and
  // the new one goes to the end. Hidden elements are kept for the program and never written.
  void AddItem(const std::string& key, std::unique_ptr<TPdfObject> value, bool hidden = false);
  void AddInternalItem(const std::string& key, std::unique_ptr<TPdfObject> value) {
    AddItem(key, std::move(value), true);
  }
  // Sets key to a reference to an indirect object.
  void AddReference(const std::string& key, const TPdfObject& indirect);
  void RemoveItem(const std::string& key);

  // The value of key or nullptr.
  TPdfObject* ValueByName(std::string_view key) const;
  TPdfArray* ArrayByName(std::string_view key) const;
  TPdfDictionary* DictionaryByName(std::string_view key) const;
  // The name value of key, or "" when the key is missing or not a name.
  std::string NameValue(std::string_view key) const;

  size_t ItemCount() const { return elements_.size(); }
  const TPdfDictionaryElement& Items(size_t index) const { return elements_.at(index); }

  void WriteValueToStream(TStream& stream) override;

 private:
  std::vector<TPdfDictionaryElement> elements_;
};

// A stream: its dictionary (always starting with Length and Filter) and its data. Data are
// deflated when written if Filter holds FlateDecode.
class TPdfStream : public TPdfObject {
 public:
  TPdfStream();

  TPdfDictionary& Attributes() { return attributes_; }
  const TPdfDictionary& Attributes() const { return attributes_; }
  TPdfArray& Filter() { return *attributes_.ArrayByName("Filter"); }

  // The data before filtering.
  std::vector<uint8_t>& Data();
  // Bytes held in memory now (encoded or not).
  size_t HeldBytes() const { return shared_ ? shared_size_ : data_.size(); }
  void Append(std::string_view bytes);

  // Deflates the data now instead of at writing time, so large data do not wait in memory
  // uncompressed; the written bytes are the same. Filter must hold FlateDecode.
  void Precompress();
  // Takes data deflated by the caller (zlib format) as the encoded data. Filter must hold
  // FlateDecode.
  void SetDeflated(std::vector<uint8_t> deflated);
  // The same for data still being deflated elsewhere: they are waited for when the stream is
  // settled or written, and an error of their making is raised then.
  void SetDeflatedLater(std::future<std::vector<uint8_t>> deflated);
  // Takes bytes already encoded by the filters the caller has put into Filter (a JPEG file
  // under DCTDecode), shared with their owner and written as they are.
  void SetEncoded(std::shared_ptr<const uint8_t> bytes, size_t size);
  // Waits for data given by SetDeflatedLater; nothing to do otherwise.
  void Settle();
  // Moves encoded data (settled) into spill, out of memory, until the stream is written. Data
  // the spill cannot take stay where they are.
  void Spill(const std::shared_ptr<TPdfSpill>& spill);

  void WriteValueToStream(TStream& stream) override;

 private:
  void SetLength(size_t size);

  TPdfDictionary attributes_;
  std::vector<uint8_t> data_;
  std::shared_ptr<const uint8_t> shared_;  // encoded bytes owned elsewhere (SetEncoded)
  size_t shared_size_ = 0;
  std::future<std::vector<uint8_t>> later_;
  std::shared_ptr<TPdfSpill> spill_;  // encoded data moved out of memory (Spill)
  int64_t spill_offset_ = 0;
  size_t spill_size_ = 0;
  bool encoded_ = false;
};

// zlib-format deflate (header and checksum included) of data at the given level.
std::vector<uint8_t> PdfDeflate(const uint8_t* data, size_t size, int level);

// ---- Cross-reference table, header, trailer ------------------------------------------------

struct TPdfXrefEntry {
  char entry_type = 'n';  // 'n' in use, 'f' free
  int64_t byte_offset = -1;
  int generation_number = 0;
  std::unique_ptr<TPdfObject> value;  // owned for in-use entries
};

class TPdfXref {
 public:
  // Entry 0 is the free head: "f", generation 65535, offset -1 (written as 0).
  TPdfXref();

  // Registers a direct object: it becomes indirect with the next object number and is owned
  // by the table. Anything else raises "AddObject --wrong object type.".
  TPdfObject* AddObject(std::unique_ptr<TPdfObject> object);
  template <class T>
  T* Add(std::unique_ptr<T> object) {
    return static_cast<T*>(AddObject(std::move(object)));
  }

  size_t ItemCount() const { return entries_.size(); }
  // Bytes the streams among the objects hold now.
  size_t StreamBytes() const;
  TPdfXrefEntry& Items(size_t index) { return entries_.at(index); }
  // The object of number, or nullptr.
  TPdfObject* GetObject(int number) const;

  // Writes every in-use object from 1 upwards, recording its offset.
  void WriteBody(TStream& stream);
  // Writes "xref", the subsection line and one 20-byte line per entry.
  void WriteTable(TStream& stream) const;

 private:
  std::vector<TPdfXrefEntry> entries_;
};

class TPdfHeader {
 public:
  void WriteToStream(TStream& stream) const;
};

class TPdfTrailer {
 public:
  TPdfTrailer();
  TPdfDictionary& Attributes() { return attributes_; }
  int64_t XrefAddress() const { return xref_address_; }
  void SetXrefAddress(int64_t address) { xref_address_ = address; }
  // "trailer", the dictionary, "startxref", the table's offset and "%%EOF".
  void WriteToStream(TStream& stream);

 private:
  TPdfDictionary attributes_;
  int64_t xref_address_ = 0;
};

// Base of the objects that edit one dictionary of the document (catalog, info, fonts,
// outline entries). The dictionary is owned by the cross-reference table.
class TPdfDictionaryWrapper {
 public:
  explicit TPdfDictionaryWrapper(TPdfDictionary* data) : data_(data) {}
  virtual ~TPdfDictionaryWrapper() = default;
  TPdfDictionaryWrapper(const TPdfDictionaryWrapper&) = delete;
  TPdfDictionaryWrapper& operator=(const TPdfDictionaryWrapper&) = delete;

  TPdfDictionary& Data() const { return *data_; }

 protected:
  TPdfDictionary* data_;
};

// Convenience constructors.
inline std::unique_ptr<TPdfName> PdfName(std::string value) {
  return std::make_unique<TPdfName>(std::move(value));
}
inline std::unique_ptr<TPdfNumber> PdfNumber(int32_t value) {
  return std::make_unique<TPdfNumber>(value);
}
inline std::unique_ptr<TPdfReal> PdfReal(double value) { return std::make_unique<TPdfReal>(value); }
inline std::unique_ptr<TPdfText> PdfText(std::string value) {
  return std::make_unique<TPdfText>(std::move(value));
}
inline std::unique_ptr<TPdfBoolean> PdfBoolean(bool value) {
  return std::make_unique<TPdfBoolean>(value);
}

}  // namespace pamirune
