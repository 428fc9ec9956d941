#include "gui/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>

namespace pamirune {
namespace {

// A request is the magic line, the length of the body in decimal and a line feed, then the body:
// each absolute path followed by a NUL byte. Names are bytes on Linux, so they travel as bytes.
// The window answers "OK\n" once it has the list.
constexpr char kMagic[] = "pamirune-files 1\n";
constexpr char kAccepted[] = "OK\n";
constexpr qint64 kMaxRequest = 16 << 20;

}  // namespace

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

QString HandOverSocketPath(const QString& lock_path) { return lock_path + QStringLiteral(".sock"); }

bool HandOverToRunningInstance(const std::vector<std::string>& files, const QString& socket_path,
                               int timeout_ms) {
  QLocalSocket socket;
  // The running window may have taken the lock a moment ago and not listen yet: try again for
  // a while.
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    socket.connectToServer(socket_path);
    if (socket.waitForConnected(timeout_ms)) break;
    if (clock.elapsed() + 100 > timeout_ms) return false;
    QThread::msleep(100);
  }
  QByteArray body;
  for (const std::string& f : files) {
    body.append(f.data(), static_cast<qsizetype>(f.size()));
    body.append('\0');
  }
  if (body.size() > kMaxRequest) return false;
  QByteArray request(kMagic);
  request += QByteArray::number(body.size()) + '\n' + body;
  socket.write(request);
  // The window answers between two images of a conversion it is running: give it time.
  const int answer_ms = std::max(timeout_ms, 30000);
  if (!socket.waitForBytesWritten(answer_ms)) return false;
  QByteArray answer;
  while (answer.size() < qsizetype(sizeof kAccepted - 1)) {
    if (!socket.waitForReadyRead(answer_ms)) break;
    answer += socket.readAll();
  }
  return answer.startsWith(kAccepted);
}

HandOverServer::HandOverServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &HandOverServer::Accept);
}

HandOverServer::~HandOverServer() = default;

bool HandOverServer::Listen(const QString& socket_path) {
  // Only the holder of the lock listens: a socket file left by a process that is gone is removed.
  QLocalServer::removeServer(socket_path);
  return server_->listen(socket_path);
}

void HandOverServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      buffer->append(socket->readAll());
      if (buffer->size() > kMaxRequest + 64) {
        socket->abort();
        return;
      }
      const QByteArray magic(kMagic);
      if (!buffer->startsWith(magic.left(std::min(buffer->size(), magic.size())))) {
        socket->abort();
        return;
      }
      const qsizetype line_end = buffer->indexOf('\n', magic.size());
      if (line_end < 0) {
        if (buffer->size() > magic.size() + 20) socket->abort();
        return;
      }
      bool ok = false;
      const qlonglong length = buffer->mid(magic.size(), line_end - magic.size()).toLongLong(&ok);
      if (!ok || length < 0 || length > kMaxRequest) {
        socket->abort();
        return;
      }
      if (buffer->size() - (line_end + 1) < length) return;  // more to come
      std::vector<std::string> files;
      const QByteArray body = buffer->mid(line_end + 1, length);
      qsizetype start = 0;
      for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != '\0') continue;
        if (i > start) files.emplace_back(body.constData() + start, i - start);
        start = i + 1;
      }
      buffer->clear();
      socket->write(kAccepted);
      socket->flush();
      socket->disconnectFromServer();
      emit Received(files);
    });
  }
}

}  // namespace pamirune
