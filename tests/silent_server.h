#pragma once
// A history server that takes connections and never says a word: a listening socket on the
// loopback that nobody reads, closed with the object. Connections wait in its backlog.

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  bool Listening() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  // A PostgreSQL connection string that names it, with `more` options after.
  QString Connection(const QString& more = {}) const {
    const QString base = QStringLiteral("host=127.0.0.1 port=%1 dbname=m84 user=m84").arg(port_);
    return more.isEmpty() ? base : base + QLatin1Char(' ') + more;
  }
  // A connection waits to be taken.
  bool Called() const {
    pollfd pending{fd_, POLLIN, 0};
    return ::poll(&pending, 1, 0) > 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};
