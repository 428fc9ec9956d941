// The Linux services behind the application's Platform interface: files and their times, the
// freedesktop.org trash, the default application, the program's folders, the desktop entry that
// offers the program in "Open With", the single-instance lock. The clipboard is the GUI's
// (LinuxPlatform has none).
#pragma once

#include <string>

#include "app/platform.h"

namespace pamirune {

class LinuxPlatform : public Platform {
 public:
  LinuxPlatform();
  ~LinuxPlatform() override;

  bool FileExists(const std::string& path) override;
  std::optional<FileInfo> FindFile(const std::string& path) override;
  std::vector<uint8_t> ReadFileHead(const std::string& path, size_t count) override;
  bool SetFileTime(const std::string& path, int64_t mtime_sec, int64_t mtime_nsec) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool SyncToDisk(const std::string& path) override;
  // The freedesktop.org trash: the home trash ($XDG_DATA_HOME/Trash) for files on its file
  // system, otherwise the volume's $topdir/.Trash/$uid or $topdir/.Trash-$uid.
  bool MoveToTrash(const std::string& path, std::string* error) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  void OpenWithDefaultApp(const std::string& path, const std::string& working_dir) override;
  std::string ProgramPath() override;
  std::string ProgramDir() override;
  // The program's folder in a portable install (a settings file beside the program), else the
  // user's Pictures folder (XDG_PICTURES_DIR or ~/Pictures), created when missing.
  std::string DefaultOutputDir() override;
  std::string LongPathName(const std::string& path) override;
  // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
  std::string ConfigHome() override;
  // The desktop entry "ぱみるねを起動.desktop" in $XDG_DATA_HOME/applications.
  bool SendToRegistered() override;
  bool RegisterSendTo() override;
  bool UnregisterSendTo() override;
  bool ClipboardHasBitmap() override { return false; }
  std::unique_ptr<TBitmap> ClipboardBitmap() override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  // A lock file in $XDG_RUNTIME_DIR (else /tmp/pamirune-$uid), held with flock.
  bool AcquireSingleInstanceLock() override;

  // For tests and the portable check: the program's path.
  void SetProgramPath(const std::string& path) { program_path_ = path; }
  // Where the desktop entry lives.
  std::string SendToEntryPath();
  // The lock file's path.
  std::string LockFilePath();

 private:
  std::string program_path_;
  int lock_fd_ = -1;
};

}  // namespace pamirune
