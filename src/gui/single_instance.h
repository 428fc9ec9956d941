// The single-instance guard: a per-user lock file held for the life of the program, and a local
// socket beside it through which a second start hands its files to the running window (or asks
// it to come forward) before it ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

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

 private:
  std::unique_ptr<QLockFile> lock_;
  bool held_ = false;
};

// The socket the running window listens on: beside the lock, "<lock>.sock".
QString HandOverSocketPath(const QString& lock_path = SingleInstanceLock::DefaultPath());

// The second start's side: hands the files (absolute paths, any bytes) to the running window;
// an empty list asks it to come forward. True once the window has taken them. timeout_ms bounds
// the wait for the window's socket; a window that is busy converting gets at least 30 s to answer.
bool HandOverToRunningInstance(const std::vector<std::string>& files,
                               const QString& socket_path = HandOverSocketPath(),
                               int timeout_ms = 5000);

// The running window's side. Listen() is called by the holder of the lock only.
class HandOverServer : public QObject {
  Q_OBJECT

 public:
  explicit HandOverServer(QObject* parent = nullptr);
  ~HandOverServer() override;
  bool Listen(const QString& socket_path = HandOverSocketPath());

 signals:
  // Files from a second start (empty: just come forward).
  void Received(const std::vector<std::string>& files);

 private:
  void Accept();
  QLocalServer* server_;
};

}  // namespace pamirune
