// TShfOperation: a file operation over a list of names, as the desktop's file manager does it
// (delete into the trash, move, copy, rename), run through Platform.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/platform.h"
#include "raster/errors.h"

namespace pamirune {

// The operations, with their codes.
enum class TOperationF { foMOVE = 1, foCOPY = 2, foDELETE = 3, foRENAME = 4 };

// The switches of Options, each one flag bit of the operation.
enum class TfFlag {
  ALLOWUNDO,          // 0x40: keep undo information (a delete goes to the trash)
  FILESONLY,          // 0x80: wildcards match files only
  MUILIDESTFILES,     // 0x01: one target name per source name (ToFiles)
  NOCONFIRMATION,     // 0x10: answer every question with yes
  NOCONFIRMMKDIR,     // 0x200: create folders without asking
  RENAMEONCOLLISION,  // 0x08: give the target a new name when it exists
  SILENT,             // 0x04: no progress window
  SIMPLEPROGRESS,     // 0x100: progress window without file names
};
using TfFlags = std::set<TfFlag>;
uint32_t FlagValue(TfFlag flag);
uint32_t FlagWord(const TfFlags& flags);

inline constexpr char kShfNoFiles[] = "ShfOperation:ﾌｧｲﾙが指定されていません.";
inline constexpr char kShfNoMemory[] = "ShfOperation:メモリ割当てに失敗しました.";
inline constexpr char kShfNoTarget[] = "ShfOperation:ﾀｰｹﾞｯﾄが指定されていません.";

class EShfOperation : public Exception {
 public:
  using Exception::Exception;
};

// Result codes of Execute.
inline constexpr int kShfOk = 0;
inline constexpr int kShfFailed = 1;    // at least one name could not be handled
inline constexpr int kShfNotFound = 2;  // at least one source does not exist

// A name list as the operation takes it: every name followed by a zero byte, a further zero
// byte after the last (and zero padding). Throws EShfOperation(kShfNoMemory) when the buffer
// cannot be had.
std::vector<char> BuildNameBuffer(const std::vector<std::string>& names);
// The names of such a buffer.
std::vector<std::string> ParseNameBuffer(const std::vector<char>& buffer);

class TShfOperation {
 public:
  explicit TShfOperation(Platform& platform) : platform_(platform) {}

  TOperationF OperationF = TOperationF::foDELETE;
  TfFlags Options;
  std::vector<std::string> ToFiles;
  std::string ToFolder;
  std::string ProgressTitle;
  // Set after a run when the user aborted it (never here: nothing is asked).
  bool fAbort = false;

  // The source names (a copy is kept).
  void SetFromFFList(const std::vector<std::string>& names) { from_ = names; }

  // Runs the operation. Raises kShfNoFiles without sources and kShfNoTarget with
  // MUILIDESTFILES but no targets. Returns kShfOk when every name was handled.
  //
  // Nobody is asked anything: a target that exists is replaced only with NOCONFIRMATION, given a
  // new name with RENAMEONCOLLISION, and otherwise left alone (that name fails). A delete
  // without ALLOWUNDO removes the file for good. Wildcards are not expanded.
  int Execute();

 private:
  bool RunOne(const std::string& from, const std::string& to);
  std::string UniqueTarget(const std::string& path);

  Platform& platform_;
  std::vector<std::string> from_;
};

// The converter's instance: a silent, unconfirmed delete into the trash.
void ConfigureForTrash(TShfOperation& operation);

}  // namespace pamirune
