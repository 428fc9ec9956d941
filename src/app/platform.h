// Platform: the operating-system services the application calls. platform/ implements it for
// Linux; the tests use temporary folders and fakes.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pamirune {

class TBitmap;

struct FileInfo {
  int64_t size = 0;
  // Last-write time, seconds and nanoseconds since the epoch (UTC).
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Files.
  virtual bool FileExists(const std::string& path) = 0;
  // Size, last-write time and identity; nullopt when the file is not found.
  virtual std::optional<FileInfo> FindFile(const std::string& path) = 0;
  // Reads up to count bytes from the start of the file. Throws EOSError when it cannot open.
  virtual std::vector<uint8_t> ReadFileHead(const std::string& path, size_t count) = 0;
  // Sets the last-write time; false on failure.
  virtual bool SetFileTime(const std::string& path, int64_t mtime_sec, int64_t mtime_nsec) = 0;
  // Renames without replacing an existing target; false on failure (target exists, no right).
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // Makes a written file and its name durable (the file and its folder reach the disk); false
  // when that cannot be done.
  virtual bool SyncToDisk(const std::string& path) = 0;
  // Moves the file to the desktop's trash. On failure returns false and sets *error.
  virtual bool MoveToTrash(const std::string& path, std::string* error) = 0;
  // True when both names refer to the same file (device and inode).
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;

  // Opens a file with the desktop's default application.
  virtual void OpenWithDefaultApp(const std::string& path, const std::string& working_dir) = 0;

  // The running program's path and folder (with a trailing "/").
  virtual std::string ProgramPath() = 0;
  virtual std::string ProgramDir() = 0;
  // Where clipboard files go when no output folder is used (with a trailing "/").
  virtual std::string DefaultOutputDir() = 0;
  // Absolute, normalised form of a path (it need not exist); empty when it cannot be formed.
  virtual std::string LongPathName(const std::string& path) = 0;
  // The user's folder for settings files (no trailing "/"); empty when the user has none.
  virtual std::string ConfigHome() = 0;

  // Send To: the desktop entry that offers the program for image files.
  virtual bool SendToRegistered() = 0;
  virtual bool RegisterSendTo() = 0;
  virtual bool UnregisterSendTo() = 0;

  // Clipboard.
  virtual bool ClipboardHasBitmap() = 0;
  // The clipboard's bitmap, or nullptr when it holds none.
  virtual std::unique_ptr<TBitmap> ClipboardBitmap() = 0;

  // Copies a file, replacing the target as one step (the old target stays whole on failure);
  // false on failure. Used by the shell file operation's copy and cross-device move.
  virtual bool CopyFile(const std::string& from, const std::string& to) { return false; }

  // Guards against a second instance: true when this process is the only one running. The lock
  // is held until the process ends.
  virtual bool AcquireSingleInstanceLock() { return true; }
};

}  // namespace pamirune
