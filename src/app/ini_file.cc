#include "app/ini_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "raster/errors.h"
#include "raster/stream.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

constexpr char kBom[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool EnclosedInQuotes(std::string_view s) {
  return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back();
}

enum class ReadResult { kRead, kMissing, kTooLarge, kUnreadable };

// Reads at most limit + 1 bytes, so an oversized file is recognised without reading it all.
ReadResult ReadLimited(const std::string& path, size_t limit, std::string* text) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) return ReadResult::kMissing;
  if (!fs::is_regular_file(status)) return ReadResult::kUnreadable;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadResult::kUnreadable;
  text->resize(limit + 1);
  in.read(text->data(), static_cast<std::streamsize>(text->size()));
  if (in.bad()) return ReadResult::kUnreadable;
  text->resize(static_cast<size_t>(in.gcount()));
  return text->size() <= limit ? ReadResult::kRead : ReadResult::kTooLarge;
}

// UTF-16 text after its byte-order mark to UTF-8; false when it is no valid UTF-16.
bool Utf16ToUtf8(std::string_view bytes, bool big_endian, std::string* out) {
  if (bytes.size() % 2) return false;
  out->clear();
  auto unit = [&](size_t i) {
    uint8_t a = static_cast<uint8_t>(bytes[i]), b = static_cast<uint8_t>(bytes[i + 1]);
    return big_endian ? static_cast<uint32_t>(a << 8 | b) : static_cast<uint32_t>(b << 8 | a);
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return false;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | c >> 6);
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += static_cast<char>(0xE0 | c >> 12);
      *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | c >> 18);
      *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

// UTF-8 to UTF-16 with its byte-order mark; a byte that starts no valid sequence (a file name
// in another encoding, say) becomes U+FFFD.
std::string Utf8ToUtf16(std::string_view text, bool big_endian) {
  std::string out;
  auto put = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  };
  put(0xFEFF);
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = len > 0 && i + len <= text.size();
    for (int k = 1; valid && k < len; ++k) {
      const auto cont = static_cast<uint8_t>(text[i + k]);
      valid = (cont & 0xC0) == 0x80;
      c = c << 6 | (cont & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (c < kLeast[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (!valid) {
      put(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
    i += static_cast<size_t>(len);
  }
  return out;
}

// What a settings file looks like: text without zero bytes or control codes, whose first line
// that is neither blank nor a comment opens a section. Empty files qualify.
bool LooksLikeSettings(std::string_view text) {
  if (text.substr(0, 3) == kBom) text.remove_prefix(3);
  for (char ch : text) {
    const auto c = static_cast<uint8_t>(ch);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') || c == 0x7F)
      return false;
  }
  while (!text.empty()) {
    const size_t lf = text.find('\n');
    const std::string_view line = Trim(text.substr(0, lf));
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    return line.front() == '[';
  }
  return true;
}

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

TIniFile::TIniFile(std::string file_name) : file_name_(std::move(file_name)) {
  std::string text;
  switch (ReadLimited(file_name_, kMaxFileBytes, &text)) {
    case ReadResult::kRead: {
      const std::string_view head = std::string_view(text).substr(0, 2);
      if (head == "\xFF\xFE" || head == "\xFE\xFF") {
        encoding_ = head == "\xFF\xFE" ? Encoding::kUtf16Le : Encoding::kUtf16Be;
        std::string utf8;
        if (!Utf16ToUtf8(std::string_view(text).substr(2), encoding_ == Encoding::kUtf16Be,
                         &utf8)) {
          not_settings_ = true;
          break;
        }
        text = std::move(utf8);
      }
      if (!LooksLikeSettings(text)) {
        not_settings_ = true;
        break;
      }
      Parse(text);
      break;
    }
    case ReadResult::kMissing:
      break;
    case ReadResult::kTooLarge:
      not_settings_ = true;
      break;
    // What could not be read is not replaced by a file made of defaults.
    case ReadResult::kUnreadable:
      unreadable_ = true;
      break;
  }
}

TIniFile TIniFile::FromText(std::string_view text) {
  TIniFile ini;
  ini.in_memory_ = true;
  ini.Parse(text);
  return ini;
}

void TIniFile::Parse(std::string_view text) {
  lines_.clear();
  bom_ = text.substr(0, 3) == kBom;
  if (bom_) text.remove_prefix(3);
  bool first = true;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view body = text.substr(0, lf);
    std::string eol;
    if (lf == std::string_view::npos) {
      text = {};
    } else {
      text.remove_prefix(lf + 1);
      eol = "\n";
      if (!body.empty() && body.back() == '\r') {
        body.remove_suffix(1);
        eol = "\r\n";
      }
      // New lines follow the file's own convention, taken from its first line.
      if (first) default_eol_ = eol;
      first = false;
    }
    lines_.push_back(ParseLine(std::string(body), std::move(eol)));
  }
}

TIniFile::Line TIniFile::ParseLine(std::string text, std::string eol) {
  Line line;
  line.eol = std::move(eol);
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '[') {
    size_t close = t.rfind(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = std::string(Trim(t.substr(1, close - 1)));
    }
  } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
    size_t eq = t.find('=');
    if (eq != std::string_view::npos) {
      std::string_view key = Trim(t.substr(0, eq));
      if (!key.empty()) {
        line.kind = LineKind::kKey;
        line.name = std::string(key);
      }
    }
  }
  line.text = std::move(text);
  return line;
}

long TIniFile::FindKeyLine(std::string_view section, std::string_view key) const {
  bool in_section = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kSection) {
      in_section = SameIniName(line.name, section);
    } else if (in_section && line.kind == LineKind::kKey && SameIniName(line.name, key)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

bool TIniFile::Find(std::string_view section, std::string_view key, std::string* value) const {
  long index = FindKeyLine(section, key);
  if (index < 0) return false;
  std::string_view text = lines_[index].text;
  std::string_view v = text.substr(text.find('=') + 1);
  // The reader hands values over as zero-terminated strings.
  v = v.substr(0, v.find('\0'));
  v = Trim(v);
  if (EnclosedInQuotes(v)) v = v.substr(1, v.size() - 2);
  if (v.size() > kMaxValueBytes) return false;
  if (value) value->assign(v);
  return true;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& default_value) const {
  std::string value;
  return Find(section, key, &value) ? value : default_value;
}

bool TIniFile::SectionExists(std::string_view section) const {
  for (const Line& line : lines_)
    if (line.kind == LineKind::kSection && SameIniName(line.name, section)) return true;
  return false;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  // A line feed would end the line and let the rest of the value pose as further entries; the
  // reader stops at a zero byte anyway.
  value = value.substr(0, value.find_first_of(std::string_view("\n\0", 2)));
  std::string encoded(value);
  if (!value.empty() &&
      (IsBlank(value.front()) || IsBlank(value.back()) || EnclosedInQuotes(value)))
    encoded = "\"" + encoded + "\"";

  long index = FindKeyLine(section, key);
  if (index >= 0) {
    Line& line = lines_[index];
    std::string text = line.text.substr(0, line.text.find('=') + 1) + encoded;
    if (text == line.text) return;
    line.text = std::move(text);
  } else {
    Line entry = ParseLine(std::string(key) + "=" + encoded, NewLineEnd());
    size_t insert_at = lines_.size();
    bool found_section = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].kind == LineKind::kSection) {
        if (found_section) break;
        if (SameIniName(lines_[i].name, section)) {
          found_section = true;
          insert_at = i + 1;
        }
      } else if (found_section && lines_[i].kind == LineKind::kKey) {
        insert_at = i + 1;
      }
    }
    if (!found_section) {
      if (!lines_.empty() && !Trim(lines_.back().text).empty()) {
        if (lines_.back().eol.empty()) lines_.back().eol = NewLineEnd();
        lines_.push_back(ParseLine("", NewLineEnd()));
      }
      lines_.push_back(ParseLine("[" + std::string(section) + "]", NewLineEnd()));
      insert_at = lines_.size();
    }
    if (insert_at > 0 && lines_[insert_at - 1].eol.empty())
      lines_[insert_at - 1].eol = NewLineEnd();
    lines_.insert(lines_.begin() + static_cast<long>(insert_at), std::move(entry));
  }
  modified_ = true;
  if (update_depth_ == 0) UpdateFile();
}

void TIniFile::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0) UpdateFile();
}

std::string TIniFile::Text() const {
  std::string text = bom_ ? kBom : "";
  for (const Line& line : lines_) {
    text += line.text;
    text += line.eol;
  }
  return text;
}

void TIniFile::UpdateFile() {
  if (!modified_) return;
  if (in_memory_) {
    modified_ = false;
    return;
  }
  if (unreadable_) throw EOSError(file_name_ + ": the file could not be read");
  if (not_settings_) throw ENotSettingsFile(file_name_ + ": not a settings file");
  std::error_code ec;
  // A settings file that is a link (kept with the user's other dotfiles, say) stays a link:
  // the file it points to is replaced, not the link.
  std::string target = file_name_;
  if (fs::is_symlink(file_name_, ec)) {
    fs::path resolved = fs::weakly_canonical(file_name_, ec);
    if (!ec) target = resolved.string();
  }
  fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  fs::file_status old_status = fs::status(target, ec);
  bool had_file = !ec && fs::is_regular_file(old_status);
  std::string text = Text();
  if (encoding_ != Encoding::kUtf8) text = Utf8ToUtf16(text, encoding_ == Encoding::kUtf16Be);
  WriteFileAtomic(target, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (had_file) fs::permissions(target, old_status.permissions(), ec);
  modified_ = false;
}

}  // namespace pamirune
