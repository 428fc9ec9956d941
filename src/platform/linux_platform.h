// The Linux services behind the application's Platform interface: files and their times, the
// freedesktop.org trash, the default application, the program's folders, the desktop entry that
// offers the program in "Open With". The clipboard is the GUI's (LinuxPlatform has none).
#pragma once

#include "app/platform.h"

namespace pamirune {

class LinuxPlatform : public Platform {
 public:
  LinuxPlatform();

  bool FileExists(const std::string& path) override;
  std::optional<FileInfo> FindFile(const std::string& path) override;
  std::vector<uint8_t> ReadFileHead(const std::string& path, size_t count) override;
  bool SetFileTime(const std::string& path, int64_t mtime_sec, int64_t mtime_nsec) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool MoveToTrash(const std::string& path, std::string* error) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  void OpenWithDefaultApp(const std::string& path, const std::string& working_dir) override;
  std::string ProgramPath() override;
  std::string ProgramDir() override;
  std::string DefaultOutputDir() override;
  std::string LongPathName(const std::string& path) override;
  bool SendToRegistered() override;
  bool RegisterSendTo() override;
  bool UnregisterSendTo() override;
  bool ClipboardHasBitmap() override { return false; }
  std::unique_ptr<TBitmap> ClipboardBitmap() override;

 private:
  std::string program_path_;
};

}  // namespace pamirune
