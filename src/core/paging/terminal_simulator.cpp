#include "core/paging/terminal_simulator.h"

#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "core/image/dat_file.h"
#include "core/paging/pocsag_transmission.h"

namespace m84::paging {

namespace {

constexpr int kReadChunk = 512;
// A terminal sends text on function D, as paging systems do.
constexpr int kTextFunction = 3;

void CloseDescriptor(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

QString SystemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(errno));
}

void WriteAll(int fd, const QByteArray& bytes) {
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += n;
  }
}

std::unique_ptr<TerminalSession> NewSession(TerminalProtocol protocol, TerminalRefusal refusal) {
  if (protocol == TerminalProtocol::Snpp) return std::make_unique<SnppTerminal>(refusal);
  return std::make_unique<TapTerminal>(refusal);
}

}  // namespace

TerminalSimulator::TerminalSimulator(TerminalSimulatorOptions options) : options_(std::move(options)) {}

TerminalSimulator::~TerminalSimulator() { Stop(); }

Outcome TerminalSimulator::Start() {
  int wake[2] = {-1, -1};
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return Failed({}, SystemError("cannot make a pipe"));
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  if (options_.protocol == TerminalProtocol::Snpp) {
    listening_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listening_ < 0 || ::bind(listening_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening_, 4) != 0 ||
        ::getsockname(listening_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      const QString reason = SystemError("cannot listen on 127.0.0.1");
      Stop();
      return Failed({}, reason);
    }
    port_ = ntohs(address.sin_port);
    address_ = QStringLiteral("127.0.0.1:%1").arg(port_);
    thread_ = std::thread([this] { ServeSnpp(); });
    return Succeeded();
  }
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    const QString reason = SystemError("cannot create a pseudo-terminal");
    Stop();
    return Failed({}, reason);
  }
  // Held open while serving: without it the master reports a hang-up each time the caller closes.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    const QString reason = SystemError("cannot open the pseudo-terminal");
    Stop();
    return Failed({}, reason);
  }
  termios line{};
  ::tcgetattr(slave_, &line);
  ::cfmakeraw(&line);
  ::tcsetattr(slave_, TCSANOW, &line);
  address_ = QString::fromLocal8Bit(name);
  thread_ = std::thread([this] { ServeTap(); });
  return Succeeded();
}

void TerminalSimulator::Stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);
    thread_.join();
  }
  CloseDescriptor(listening_);
  CloseDescriptor(slave_);
  CloseDescriptor(master_);
  CloseDescriptor(wakeRead_);
  CloseDescriptor(wakeWrite_);
}

std::vector<TerminalPage> TerminalSimulator::Pages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pages_;
}

bool TerminalSimulator::WaitReadable(int fd) {
  while (!stopping_) {
    pollfd watched[2] = {{fd, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0 && errno != EINTR) return false;
    if (watched[1].revents) return false;
    if (watched[0].revents) return true;
  }
  return false;
}

// One caller at a time, as a terminal's one SNPP line: the next waits in the queue.
void TerminalSimulator::ServeSnpp() {
  while (WaitReadable(listening_)) {
    int client = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const std::unique_ptr<TerminalSession> session = NewSession(TerminalProtocol::Snpp, options_.refusal);
    bool open = Answer(*session, client, session->Open());
    while (open && WaitReadable(client)) {
      char buffer[kReadChunk];
      const ssize_t got = ::read(client, buffer, sizeof buffer);
      if (got <= 0) break;
      open = Answer(*session, client, session->Receive(QByteArray(buffer, got)));
    }
    CloseDescriptor(client);
  }
}

void TerminalSimulator::ServeTap() {
  std::unique_ptr<TerminalSession> session = NewSession(TerminalProtocol::Tap, options_.refusal);
  while (WaitReadable(master_)) {
    char buffer[kReadChunk];
    const ssize_t got = ::read(master_, buffer, sizeof buffer);
    if (got <= 0) {
      // Nobody on the line: wait for the next caller without spinning on the hang-up.
      pollfd wake{wakeRead_, POLLIN, 0};
      ::poll(&wake, 1, 20);
      continue;
    }
    if (Answer(*session, master_, session->Receive(QByteArray(buffer, got)))) continue;
    if (session->HungUp()) {
      // The line drops: the caller's side reports a hang-up, and the device is gone.
      CloseDescriptor(slave_);
      CloseDescriptor(master_);
      return;
    }
    session = NewSession(TerminalProtocol::Tap, options_.refusal);
  }
}

bool TerminalSimulator::Answer(TerminalSession& session, int fd, const QByteArray& answer) {
  WriteAll(fd, answer);
  Take(session);
  return !session.Ended();
}

void TerminalSimulator::Take(TerminalSession& session) {
  for (const TerminalPage& page : session.TakePages()) {
    if (!options_.airFile.isEmpty()) {
      const pocsag::Page air{page.pagerId.toUInt(), kTextFunction, pocsag::PageKind::Text, page.message};
      const Result<std::vector<uint32_t>> codewords = pocsag::TransmissionCodewords({air});
      const std::optional<pocsag::TransmissionForm> form = pocsag::TransmissionFormOf(options_.airFile);
      if (codewords)
        (void)WriteFileAtomically(
            options_.airFile,
            pocsag::TransmissionFile(*codewords, form.value_or(pocsag::TransmissionForm::Audio), options_.baud));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pages_.push_back(page);
    }
    if (options_.paged) options_.paged(page);
  }
}

}  // namespace m84::paging
