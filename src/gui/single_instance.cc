#include "gui/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pamirune {

QString SingleInstanceLock::DefaultPath() {
  QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
    return QDir(runtime).filePath(QStringLiteral("pamirune.lock"));
  return QDir(QDir::tempPath())
      .filePath(QStringLiteral("pamirune-%1.lock").arg(static_cast<qulonglong>(::getuid())));
}

SingleInstanceLock::SingleInstanceLock(const QString& path)
    : lock_(std::make_unique<QLockFile>(path)) {
  // The lock lives as long as the program: it never goes stale by age, only when its owner
  // is gone (QLockFile checks the process id and host).
  lock_->setStaleLockTime(0);
}

bool SingleInstanceLock::TryAcquire() {
  if (held_) return true;
  held_ = lock_->tryLock(0);
  return held_;
}

}  // namespace pamirune
