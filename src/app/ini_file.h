// TIniFile: a plain INI reader/writer with the rules of the classic private-profile functions.
// Sections and keys are matched without regard to (ASCII) case; a write edits the file in place
// and keeps every other line (comments, unknown sections and keys, their order and line ends); a
// new key goes after the last key of its section and a new section at the end of the file. The
// file is saved through a temporary file and a rename, so a failed save never leaves half a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raster/errors.h"

namespace pamirune {

class TIniFile {
 public:
  // Values longer than this are not taken from the file; any path Linux allows fits.
  static constexpr size_t kMaxValueBytes = 32 * 1024 - 1;
  // A larger file is not a settings file.
  static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

  // Reads the file. UTF-8 and, after their byte-order mark, UTF-16 files (little or big endian)
  // are read; a UTF-16 file is saved in UTF-16 again. A missing, unreadable or damaged file
  // reads as an empty one, and so does a file that is not a settings file: one larger than
  // kMaxFileBytes, one holding bytes no text has (zero bytes, control codes), or one whose first
  // line that is neither blank nor a comment does not open a section. A file that exists but
  // cannot be read, or is not a settings file, is never overwritten: saving it throws (the
  // latter ENotSettingsFile).
  explicit TIniFile(std::string file_name);
  // An INI held in memory only (UpdateFile() writes nothing); used by tests and fuzzing.
  static TIniFile FromText(std::string_view text);

  const std::string& FileName() const { return file_name_; }
  // False for an existing file that is not a settings file (see above).
  bool IsSettingsFile() const { return !not_settings_; }

  // The value of the first matching key (surrounding blanks removed, one pair of enclosing
  // quotes removed, cut at a zero byte). False when the key is absent or its value too long.
  bool Find(std::string_view section, std::string_view key, std::string* value) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& default_value) const;
  bool SectionExists(std::string_view section) const;

  // Sets the value in memory and, unless an update is in progress, saves the file. A value is
  // cut at its first line feed or zero byte (it must stay on its line); it is quoted when
  // blanks at its ends or enclosing quotes would otherwise be lost. Throws EOSError when saving
  // fails.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Nested updates: writes stay in memory until the outermost EndUpdate(), which saves once.
  void BeginUpdate() { ++update_depth_; }
  void EndUpdate();
  // Saves the file now if anything changed since it was read or last saved. Throws EOSError
  // when it cannot, or when the file existed but could not be read.
  void UpdateFile();

  // The whole text as it would be saved.
  std::string Text() const;
  bool Modified() const { return modified_; }

 private:
  enum class LineKind { kOther, kSection, kKey };
  struct Line {
    std::string text;  // without its line end
    std::string eol;   // "\r\n", "\n" or "" for a last line without one
    LineKind kind = LineKind::kOther;
    std::string name;  // section name or key, blanks removed
  };

  TIniFile() = default;
  void Parse(std::string_view text);
  static Line ParseLine(std::string text, std::string eol);
  // Index of the key line, or -1.
  long FindKeyLine(std::string_view section, std::string_view key) const;
  const std::string& NewLineEnd() const { return default_eol_; }

  std::string file_name_;
  bool in_memory_ = false;
  bool unreadable_ = false;
  bool not_settings_ = false;
  bool bom_ = false;
  enum class Encoding { kUtf8, kUtf16Le, kUtf16Be } encoding_ = Encoding::kUtf8;
  std::string default_eol_ = "\n";
  std::vector<Line> lines_;
  int update_depth_ = 0;
  bool modified_ = false;
};

// Raised when a save would overwrite a file that is not a settings file.
class ENotSettingsFile : public Exception {
 public:
  using Exception::Exception;
};

// ASCII case-insensitive equality, as section and key names are compared.
bool SameIniName(std::string_view a, std::string_view b);

}  // namespace pamirune
