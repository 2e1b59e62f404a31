#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace m84 {

namespace {

const QString kInstanceName = QStringLiteral("M84PagerDpt");
const QByteArray kActivateRequest = QByteArrayLiteral("activate\n");
// "open " and the file's path, UTF-8, percent-encoded so that it holds no line break.
const QByteArray kOpenRequest = QByteArrayLiteral("open ");
constexpr qint64 kLongestRequest = 16 * 1024;
constexpr int kLongestSocketPath = 100;  // a socket address holds 108 bytes on Linux, 104 elsewhere

// A copy that is still starting has the lock but no socket yet; give it this long to appear.
constexpr int kReachPatienceMs = 1000;
constexpr unsigned long kRetryPauseMs = 50;
constexpr int kWritePatienceMs = 1000;
// The running copy hangs up once it has read the request; waiting for that keeps the request from
// being dropped with a connection closed too early.
constexpr int kHandledPatienceMs = 1000;

// The numeric user id where there is one: it cannot be faked by the environment.
QString UserTag() {
#ifdef Q_OS_UNIX
  return QString::number(::getuid());
#else
  QString user = qEnvironmentVariable("USERNAME");
  if (user.isEmpty()) user = QDir::home().dirName();
  for (QChar& c : user)
    if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_')) c = QLatin1Char('_');
  return user;
#endif
}

QString LockFolder() {
  const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

// Where sockets are files, the socket lies beside the lock, so that the two always belong to the
// same session (a private runtime folder gets its own socket, too). Elsewhere, and where that path
// would be too long for a socket address, the plain qualified name.
QString SocketName(const QString& qualified, const QString& inFolder) {
#ifdef Q_OS_UNIX
  if (QFile::encodeName(inFolder).size() <= kLongestSocketPath) return inFolder;
#else
  Q_UNUSED(inFolder);
#endif
  return qualified;
}

}  // namespace

InstanceName InstanceName::ForThisUser() {
  const QString qualified = kInstanceName + QLatin1Char('-') + UserTag();
  const QString inFolder = LockFolder() + QLatin1Char('/') + qualified;
  return {inFolder + QStringLiteral(".lock"), SocketName(qualified, inFolder)};
}

InstanceGuard::InstanceGuard(const InstanceName& name, QObject* parent)
    : QObject(parent), name_(name), lock_(name.lockFilePath) {
  // The lock is held for the whole run: only a dead owner makes it stale, never its age.
  lock_.setStaleLockTime(0);
}

InstanceGuard::~InstanceGuard() { Release(); }

InstanceGuard::Role InstanceGuard::Claim() {
  if (lock_.tryLock(0)) return Role::First;
  return lock_.error() == QLockFile::LockFailedError ? Role::Second : Role::Unguarded;
}

bool InstanceGuard::Listen() {
  if (!lock_.isLocked()) return false;
  // Only the lock's owner may do this: it would cut a running copy off from its requests.
  QLocalServer::removeServer(name_.serverName);
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(name_.serverName)) return false;
  connect(server.get(), &QLocalServer::newConnection, this, &InstanceGuard::AcceptRequests);
  server_ = std::move(server);
  return true;
}

bool InstanceGuard::RequestActivation(const QString& file) const {
#ifdef Q_OS_WIN
  // The system lets only the program the user just started take the foreground; pass that on.
  AllowSetForegroundWindow(ASFW_ANY);
#endif
  QLocalSocket socket;
  const QDeadlineTimer deadline(kReachPatienceMs);
  for (;;) {
    socket.connectToServer(name_.serverName);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    socket.abort();
    if (deadline.hasExpired()) return false;
    QThread::msleep(kRetryPauseMs);
  }
  socket.write(file.isEmpty() ? kActivateRequest : kOpenRequest + file.toUtf8().toPercentEncoding("/") + '\n');
  socket.waitForBytesWritten(kWritePatienceMs);
  if (socket.bytesToWrite() > 0) return false;
  socket.waitForDisconnected(kHandledPatienceMs);
  return true;
}

void InstanceGuard::Release() {
  server_.reset();
  lock_.unlock();
}

void InstanceGuard::AcceptRequests() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { ReadRequest(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    ReadRequest(socket);
  }
}

void InstanceGuard::ReadRequest(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > kLongestRequest) socket->abort();
    return;
  }
  const QByteArray request = socket->readLine(kLongestRequest + 1);
  socket->disconnectFromServer();
  if (request == kActivateRequest) {
    emit ActivationRequested();
  } else if (request.startsWith(kOpenRequest) && request.endsWith('\n')) {
    const QByteArray encoded = request.mid(kOpenRequest.size()).chopped(1);
    if (!encoded.isEmpty()) emit OpenRequested(QString::fromUtf8(QByteArray::fromPercentEncoding(encoded)));
  }
}

}  // namespace m84
