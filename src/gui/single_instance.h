// The single-instance guard: a per-user lock file held for the life of the program. A second
// start finds it taken and ends without touching the running one.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace pamirune {

class SingleInstanceLock {
 public:
  // The lock file in the user's runtime folder ($XDG_RUNTIME_DIR), or in the temporary folder
  // with the user's id in its name when there is none.
  static QString DefaultPath();

  explicit SingleInstanceLock(const QString& path = DefaultPath());
  // Takes the lock at once, without waiting; false when another process holds it. A lock left
  // by a process that no longer runs is taken over.
  bool TryAcquire();
  bool Held() const { return held_; }

 private:
  std::unique_ptr<QLockFile> lock_;
  bool held_ = false;
};

}  // namespace pamirune
