#include "pdf/pdf_objects.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "pdf/pdf_spill.h"
#include "raster/zlib_writer.h"

namespace pamirune {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 15];
}

}  // namespace

std::vector<uint32_t> PdfDecodeUtf8(std::string_view text) {
  std::vector<uint32_t> code_points;
  size_t i = 0;
  while (i < text.size()) {
    uint8_t c = static_cast<uint8_t>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else {
      int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
      if (c >= 0xF5) extra = -1;
      if (extra > 0 && i + static_cast<size_t>(extra) < text.size()) {
        uint32_t v = c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
          uint8_t t = static_cast<uint8_t>(text[i + k]);
          if ((t & 0xC0) != 0x80) {
            ok = false;
            break;
          }
          v = (v << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (ok && v >= kMin[extra] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
          cp = v;
          len = 1 + extra;
        }
      }
    }
    code_points.push_back(cp);
    i += len;
  }
  return code_points;
}

namespace {

std::vector<uint16_t> Utf8ToUtf16(std::string_view text) {
  std::vector<uint16_t> units;
  for (uint32_t cp : PdfDecodeUtf8(text)) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<uint16_t>(cp));
    }
  }
  return units;
}

std::string ToChars(double value, std::chars_format format, int precision = -1) {
  char buffer[400];
  auto result = precision < 0
                    ? std::to_chars(buffer, buffer + sizeof buffer, value, format)
                    : std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

void TrimFraction(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
}

}  // namespace

void PdfWrite(TStream& stream, std::string_view text) { stream.Write(text.data(), text.size()); }

std::string FormatPdfReal(double value) {
  // Infinite and undefined values have no written form; they are written as 0.
  if (!std::isfinite(value)) return "0";
  std::string text = ToChars(value, std::chars_format::general, 15);
  if (text.find('e') != std::string::npos) {
    // Outside the range the general form writes plainly: take the value those 15 digits give
    // and write it in positional notation.
    double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    text = ToChars(rounded, std::chars_format::fixed);
    TrimFraction(text);
  }
  if (text == "-0") text = "0";
  return text;
}

std::string FormatPdfCanvasNumber(double value) {
  if (!std::isfinite(value)) return "0";
  // Halves round away from zero on both sides of it (adding 0.5 alone would write -1 as -0.99).
  double scaled = std::trunc(value * 100 + (value < 0 ? -0.5 : 0.5)) / 100;
  std::string text = ToChars(scaled, std::chars_format::fixed);
  if (text == "-0") text = "0";
  return text;
}

std::string FormatPdfName(std::string_view name) {
  std::string out = "/";
  for (char ch : name) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (c < 0x21 || c > 0x7E ||
        std::string_view("#%()/<>[]{}").find(ch) != std::string_view::npos) {
      out += '#';
      AppendHexByte(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

std::string FormatPdfLiteralBytes(std::string_view bytes) {
  std::string out = "(";
  for (char ch : bytes) {
    switch (ch) {
      case '(':
        out += "\\(";
        break;
      case ')':
        out += "\\)";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        out += ch;
        break;
    }
  }
  out += ')';
  return out;
}

std::string FormatPdfText(std::string_view text) {
  bool plain =
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
  if (plain) return FormatPdfLiteralBytes(text);
  // Byte-order mark, then the language escape 001B "en" 001B.
  std::string out = "<FEFF001B";
  for (char c : std::string_view("en")) AppendHexByte(out, static_cast<uint8_t>(c));
  out += "001B";
  for (uint16_t unit : Utf8ToUtf16(text)) {
    AppendHexByte(out, static_cast<uint8_t>(unit >> 8));
    AppendHexByte(out, static_cast<uint8_t>(unit));
  }
  out += '>';
  return out;
}

std::string FormatPdfDate(const TPdfDateTime& d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buffer;
}

TPdfDateTime PdfLocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

// ---- TPdfObject ----

void TPdfObject::WriteToStream(TStream& stream) {
  if (object_type_ == TPdfObjectType::otDirectObject) {
    WriteValueToStream(stream);
  } else {
    PdfWrite(stream,
             std::to_string(object_number_) + " " + std::to_string(GenerationNumber()) + " R");
  }
}

std::string TPdfObject::ToString() {
  TMemoryStream stream;
  WriteToStream(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

void TPdfNull::WriteValueToStream(TStream& stream) { PdfWrite(stream, "null"); }

void TPdfBoolean::WriteValueToStream(TStream& stream) {
  PdfWrite(stream, value_ ? "true" : "false");
}

void TPdfNumber::WriteValueToStream(TStream& stream) { PdfWrite(stream, std::to_string(value_)); }

void TPdfReal::WriteValueToStream(TStream& stream) { PdfWrite(stream, FormatPdfReal(value_)); }

void TPdfText::WriteValueToStream(TStream& stream) { PdfWrite(stream, FormatPdfText(value_)); }

void TPdfName::WriteValueToStream(TStream& stream) { PdfWrite(stream, FormatPdfName(value_)); }

void TPdfBinary::WriteValueToStream(TStream& stream) { PdfWrite(stream, bytes_); }

TPdfVirtualObject::TPdfVirtualObject() {
  throw EPdfInvalidOperation("virtualObject must be create by CreateVirtual method.");
}

TPdfVirtualObject::TPdfVirtualObject(Numbered, int object_number) {
  object_number_ = object_number;
  object_type_ = TPdfObjectType::otVirtualObject;
}

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::CreateVirtual(int object_number) {
  return std::unique_ptr<TPdfVirtualObject>(new TPdfVirtualObject(Numbered{}, object_number));
}

void TPdfVirtualObject::WriteValueToStream(TStream& stream) {
  PdfWrite(stream, std::to_string(ObjectNumber()) + " 0 R");
}

std::unique_ptr<TPdfObject> PdfReferenceTo(const TPdfObject& object) {
  if (object.ObjectType() == TPdfObjectType::otDirectObject)
    throw EPdfInvalidValue("internal error wrong object type");
  return TPdfVirtualObject::CreateVirtual(object.ObjectNumber());
}

// ---- TPdfArray ----

void TPdfArray::Add(std::unique_ptr<TPdfObject> object) {
  if (!object) return;
  for (const auto& item : items_) {
    if (item.get() == object.get()) {
      object.release();  // already ours
      return;
    }
  }
  items_.push_back(std::move(object));
}

void TPdfArray::AddReference(const TPdfObject& indirect) {
  items_.push_back(PdfReferenceTo(indirect));
}

void TPdfArray::SetItem(size_t index, std::unique_ptr<TPdfObject> object) {
  if (index >= items_.size() || !object) throw EPdfInvalidValue("TPdfArray --invalid index.");
  items_[index] = std::move(object);
}

bool TPdfArray::HasName(std::string_view value) const {
  for (const auto& item : items_) {
    auto* name = dynamic_cast<const TPdfName*>(item.get());
    if (name && name->Value() == value) return true;
  }
  return false;
}

void TPdfArray::WriteValueToStream(TStream& stream) {
  PdfWrite(stream, "[");
  for (auto& item : items_) {
    item->WriteToStream(stream);
    PdfWrite(stream, " ");
  }
  PdfWrite(stream, "]");
}

// ---- TPdfDictionary ----

void TPdfDictionary::AddItem(const std::string& key, std::unique_ptr<TPdfObject> value,
                             bool hidden) {
  if (!value) throw EPdfInvalidValue("TPdfDictionary --invalid value.");
  RemoveItem(key);
  elements_.push_back({key, std::move(value), hidden});
}

void TPdfDictionary::AddReference(const std::string& key, const TPdfObject& indirect) {
  AddItem(key, PdfReferenceTo(indirect));
}

void TPdfDictionary::RemoveItem(const std::string& key) {
  std::erase_if(elements_, [&](const TPdfDictionaryElement& e) { return e.key == key; });
}

TPdfObject* TPdfDictionary::ValueByName(std::string_view key) const {
  for (const auto& e : elements_)
    if (e.key == key) return e.value.get();
  return nullptr;
}

TPdfArray* TPdfDictionary::ArrayByName(std::string_view key) const {
  return dynamic_cast<TPdfArray*>(ValueByName(key));
}

TPdfDictionary* TPdfDictionary::DictionaryByName(std::string_view key) const {
  return dynamic_cast<TPdfDictionary*>(ValueByName(key));
}

std::string TPdfDictionary::NameValue(std::string_view key) const {
  auto* name = dynamic_cast<TPdfName*>(ValueByName(key));
  return name ? name->Value() : std::string();
}

void TPdfDictionary::WriteValueToStream(TStream& stream) {
  PdfWrite(stream, "<<\r\n");
  for (auto& e : elements_) {
    if (e.hidden) continue;
    PdfWrite(stream, FormatPdfName(e.key));
    PdfWrite(stream, " ");
    e.value->WriteToStream(stream);
    PdfWrite(stream, "\r\n");
  }
  PdfWrite(stream, ">>");
}

// ---- TPdfStream ----

TPdfStream::TPdfStream() {
  attributes_.AddItem("Length", PdfNumber(0));
  attributes_.AddItem("Filter", std::make_unique<TPdfArray>());
}

std::vector<uint8_t>& TPdfStream::Data() {
  if (encoded_) throw EPdfInvalidOperation("TPdfStream --the data are already encoded.");
  return data_;
}

void TPdfStream::Append(std::string_view bytes) {
  auto& data = Data();
  data.insert(data.end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> PdfDeflate(const uint8_t* data, size_t size, int level) {
  return ZlibCompress(data, size, level);
}

void TPdfStream::Precompress() {
  if (encoded_) return;
  if (!Filter().HasName("FlateDecode"))
    throw EPdfInvalidOperation("TPdfStream --no filter to encode with.");
  SetDeflated(PdfDeflate(data_.data(), data_.size(), Z_BEST_COMPRESSION));
}

void TPdfStream::SetLength(size_t size) {
  if (auto* length = dynamic_cast<TPdfNumber*>(attributes_.ValueByName("Length")))
    length->SetValue(static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)));
}

void TPdfStream::SetDeflated(std::vector<uint8_t> deflated) {
  if (!Filter().HasName("FlateDecode"))
    throw EPdfInvalidOperation("TPdfStream --no filter to encode with.");
  later_ = {};
  spill_.reset();
  shared_.reset();
  data_ = std::move(deflated);
  encoded_ = true;
  SetLength(data_.size());
}

void TPdfStream::SetDeflatedLater(std::future<std::vector<uint8_t>> deflated) {
  if (!Filter().HasName("FlateDecode"))
    throw EPdfInvalidOperation("TPdfStream --no filter to encode with.");
  shared_.reset();
  spill_.reset();
  data_.clear();
  later_ = std::move(deflated);
  encoded_ = true;
}

void TPdfStream::SetEncoded(std::shared_ptr<const uint8_t> bytes, size_t size) {
  later_ = {};
  spill_.reset();
  data_.clear();
  data_.shrink_to_fit();
  shared_ = std::move(bytes);
  shared_size_ = shared_ ? size : 0;
  encoded_ = true;
  SetLength(shared_size_);
}

void TPdfStream::Settle() {
  if (!later_.valid()) return;
  // The future is spent either way: an error is raised once, and the stream stays empty.
  std::future<std::vector<uint8_t>> later = std::move(later_);
  data_ = later.get();
  SetLength(data_.size());
}

void TPdfStream::Spill(const std::shared_ptr<TPdfSpill>& spill) {
  Settle();
  if (!spill || !encoded_ || spill_) return;
  const uint8_t* bytes = shared_ ? shared_.get() : data_.data();
  const size_t size = shared_ ? shared_size_ : data_.size();
  if (size == 0) return;
  const int64_t offset = spill->Store(bytes, size);
  if (offset < 0) return;
  spill_ = spill;
  spill_offset_ = offset;
  spill_size_ = size;
  shared_.reset();
  data_.clear();
  data_.shrink_to_fit();
}

void TPdfStream::WriteValueToStream(TStream& stream) {
  Settle();
  std::vector<uint8_t> deflated;
  const uint8_t* out = data_.data();
  size_t out_size = data_.size();
  if (spill_) {
    out = nullptr;
    out_size = spill_size_;
  } else if (shared_) {
    out = shared_.get();
    out_size = shared_size_;
  } else if (!encoded_ && Filter().HasName("FlateDecode")) {
    deflated = PdfDeflate(data_.data(), data_.size(), Z_BEST_COMPRESSION);
    out = deflated.data();
    out_size = deflated.size();
  }
  if (out_size > static_cast<size_t>(INT32_MAX)) throw EPdfError("TPdfStream --stream too large.");
  // Length keeps its place at the head of the dictionary.
  auto* length = dynamic_cast<TPdfNumber*>(attributes_.ValueByName("Length"));
  if (length)
    length->SetValue(static_cast<int32_t>(out_size));
  else
    attributes_.AddItem("Length", PdfNumber(static_cast<int32_t>(out_size)));
  attributes_.WriteValueToStream(stream);
  PdfWrite(stream, "\r\nstream\r\n");
  if (spill_)
    spill_->CopyTo(stream, spill_offset_, spill_size_);
  else
    stream.Write(out, out_size);
  PdfWrite(stream, "\nendstream");
}

// ---- TPdfXref ----

size_t TPdfXref::StreamBytes() const {
  size_t total = 0;
  for (const auto& entry : entries_)
    if (const auto* stream = dynamic_cast<const TPdfStream*>(entry.value.get()))
      total += stream->HeldBytes();
  return total;
}

TPdfXref::TPdfXref() {
  TPdfXrefEntry head;
  head.entry_type = 'f';
  head.generation_number = 65535;
  head.byte_offset = -1;
  entries_.push_back(std::move(head));
}

TPdfObject* TPdfXref::AddObject(std::unique_ptr<TPdfObject> object) {
  if (!object || object->ObjectType() != TPdfObjectType::otDirectObject)
    throw EPdfInvalidOperation("AddObject --wrong object type.");
  object->object_number_ = static_cast<int>(entries_.size());
  object->object_type_ = TPdfObjectType::otIndirectObject;
  TPdfXrefEntry entry;
  entry.value = std::move(object);
  entries_.push_back(std::move(entry));
  return entries_.back().value.get();
}

TPdfObject* TPdfXref::GetObject(int number) const {
  if (number <= 0 || static_cast<size_t>(number) >= entries_.size()) return nullptr;
  return entries_[number].value.get();
}

void TPdfXref::WriteBody(TStream& stream) {
  for (size_t i = 1; i < entries_.size(); ++i) {
    auto& entry = entries_[i];
    if (entry.entry_type != 'n' || !entry.value) continue;
    TPdfObject& object = *entry.value;
    if (object.ObjectType() != TPdfObjectType::otIndirectObject)
      throw EPdfInvalidOperation("internal error wrong object type");
    entry.byte_offset = stream.Position();
    PdfWrite(stream, std::to_string(object.ObjectNumber()) + " " +
                         std::to_string(object.GenerationNumber()) + " obj\r\n");
    object.WriteValueToStream(stream);
    PdfWrite(stream, "\r\nendobj\r\n");
  }
}

void TPdfXref::WriteTable(TStream& stream) const {
  PdfWrite(stream, "xref\r\n0 " + std::to_string(entries_.size()) + "\r\n");
  for (const auto& entry : entries_) {
    char line[64];
    long long offset = entry.byte_offset < 0 ? 0 : entry.byte_offset;
    std::snprintf(line, sizeof line, "%010lld %05d %c\r\n", offset, entry.generation_number,
                  entry.entry_type);
    PdfWrite(stream, line);
  }
}

void TPdfHeader::WriteToStream(TStream& stream) const { PdfWrite(stream, "%PDF-1.2 \r\n"); }

TPdfTrailer::TPdfTrailer() { attributes_.AddItem("Size", PdfNumber(0)); }

void TPdfTrailer::WriteToStream(TStream& stream) {
  PdfWrite(stream, "trailer\r\n");
  attributes_.WriteValueToStream(stream);
  PdfWrite(stream, "\r\nstartxref\r\n" + std::to_string(xref_address_) + "\r\n%%EOF\r\n");
}

}  // namespace pamirune
