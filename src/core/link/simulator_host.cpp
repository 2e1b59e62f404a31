#include "core/link/simulator_host.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "core/image/dat_file.h"

namespace m84 {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// A pause this long ends a half-received frame, and lets a changed memory reach its file.
constexpr auto kQuietLine = std::chrono::milliseconds(100);
// Waiting with nothing scheduled: only the wake pipe or the program can end it.
constexpr int kIdlePollMs = 1000;
// If the line reports a hang-up anyway, do not spin on it.
constexpr auto kHangUpBackOff = std::chrono::milliseconds(20);
constexpr int kReadChunk = 512;

struct TimedByte {
  Clock::time_point due;
  uint8_t byte;
};

void CloseDescriptor(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

QString SystemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(errno));
}

Clock::duration ByteTime(bool pace) {
  return pace ? std::chrono::duration_cast<Clock::duration>(Milliseconds(kByteLineMs)) : Clock::duration::zero();
}

timespec ToTimespec(Clock::duration wait) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(wait, Clock::duration::zero())).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

SimulatorHost::SimulatorHost(const SimulatorOptions& options) : options_(options) { engine_.SetFaults(options.faults); }

SimulatorHost::~SimulatorHost() { Stop(); }

void SimulatorHost::SetFaults(const FaultPlan& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  engine_.SetFaults(faults);
}

void SimulatorHost::SetMemory(const PagerImage& memory) {
  std::lock_guard<std::mutex> lock(mutex_);
  engine_.SetMemory(memory);
  memoryGiven_ = true;
}

Outcome SimulatorHost::Start() {
  if (!memoryGiven_ && !options_.memoryFile.isEmpty()) {
    if (Outcome loaded = LoadMemoryFile(); !loaded) return loaded;
  }
  if (options_.swap) {
    std::lock_guard<std::mutex> lock(mutex_);
    engine_.SetSwap(true);
  }

  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    const QString reason = SystemError("cannot create a pseudo-terminal");
    Stop();
    return Failed({}, reason);
  }
  // Held open for the whole run: without it the master side reports a hang-up every time the
  // program closes the port, and would wake the serving loop without pause.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  int wake[2] = {-1, -1};
  if (slave_ < 0 || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const QString reason = SystemError("cannot open the pseudo-terminal");
    Stop();
    return Failed({}, reason);
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  termios line{};
  ::tcgetattr(slave_, &line);
  ::cfmakeraw(&line);
  ::cfsetspeed(&line, B9600);
  ::tcsetattr(slave_, TCSANOW, &line);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

  devicePath_ = QString::fromLocal8Bit(name);
  stopping_ = false;
  thread_ = std::thread([this] { Serve(); });
  servingThread_ = thread_.native_handle();
  serving_ = true;
  return Succeeded();
}

void SimulatorHost::Stop() {
  if (thread_.joinable()) {
    stopping_ = true;
    serving_ = false;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);
    thread_.join();
  }
  CloseDescriptor(wakeRead_);
  CloseDescriptor(wakeWrite_);
  CloseDescriptor(slave_);
  CloseDescriptor(master_);
}

PagerImage SimulatorHost::Memory() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return engine_.Memory();
}

SimulatedAdapter::Counts SimulatorHost::Counted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return engine_.Counted();
}

SimulatorHost::LineCounts SimulatorHost::Line() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

double SimulatorHost::ServingCpuSeconds() const {
  clockid_t clock{};
  timespec used{};
  if (!serving_ || ::pthread_getcpuclockid(servingThread_, &clock) != 0 || ::clock_gettime(clock, &used) != 0) return 0;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

Outcome SimulatorHost::LoadMemoryFile() {
  const QString& path = options_.memoryFile;
  const QByteArray name = QFile::encodeName(path);
  // Without blocking, and nothing read before the size is known: a FIFO would hold open() until a
  // writer came, a device such as /dev/zero would fill the memory without end.
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    // A new file starts from the built-in pager and is kept from now on.
    if (WriteFileAtomically(path, QByteArray(reinterpret_cast<const char*>(engine_.Memory().data()), kImageSize)))
      return Succeeded();
    return Failed({}, QStringLiteral("%1: cannot be created").arg(path));
  }
  if (fd < 0) return Failed({}, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  struct stat status {};
  const bool known = ::fstat(fd, &status) == 0;
  const auto refuse = [&](const QString& reason) {
    ::close(fd);
    return Failed({}, QStringLiteral("%1: %2").arg(path, reason));
  };
  const QString holds = QStringLiteral("a pager memory file is a regular file of exactly %1 bytes").arg(kImageSize);
  if (!known || !S_ISREG(status.st_mode)) return refuse(QStringLiteral("no regular file; ") + holds);
  if (status.st_size != kImageSize) return refuse(holds);
  QByteArray bytes(kImageSize + 1, '\0');
  qsizetype got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  if (got != kImageSize) return Failed({}, QStringLiteral("%1: %2").arg(path, holds));
  PagerImage memory;
  std::copy(bytes.begin(), bytes.begin() + kImageSize, memory.data());
  engine_.SetMemory(memory);
  return Succeeded();
}

// The line in both directions: bytes from the program become due for the adapter (one line
// time apart when pacing), the adapter's answers become due for the program the same way.
void SimulatorHost::Serve() {
  const Clock::duration byteTime = ByteTime(options_.pace);
  std::deque<TimedByte> inbound;
  std::deque<TimedByte> outbound;
  Clock::time_point inboundFree{};
  Clock::time_point outboundFree{};
  Clock::time_point lastByte = Clock::now();  // the last byte either way on the line
  bool memoryUnsaved = false;
  bool unplugged = false;
  int unpluggedAt = 0;
  std::vector<uint8_t> reply;
  std::vector<uint8_t> chunk;
  std::optional<PagerImage> saveBeforeAnswer;

  while (!stopping_) {
    Clock::time_point now = Clock::now();
    bool midMessage = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (!inbound.empty() && inbound.front().due <= now) {
        const TimedByte in = inbound.front();
        inbound.pop_front();
        const int endsBefore = engine_.Counted().ends;
        engine_.Receive(in.byte, reply);
        // The end of a transfer: the program may exit as soon as it is acknowledged, and whoever
        // looks at the memory file next must find the write in it.
        if (engine_.Counted().ends != endsBefore && (engine_.TakeMemoryChanged() || memoryUnsaved)) {
          saveBeforeAnswer = engine_.Memory();
          memoryUnsaved = false;
        }
        const std::optional<SimulatedAdapter::ReplyPause> pause = engine_.TakeReplyPause();
        for (size_t i = 0; i < reply.size(); ++i) {
          outboundFree = std::max(outboundFree, in.due) + byteTime;
          if (pause && pause->at == i) outboundFree += std::chrono::milliseconds(pause->ms);
          outbound.push_back({outboundFree, reply[i]});
        }
        reply.clear();
        if (engine_.TakeUnplugged()) {
          unplugged = true;
          unpluggedAt = engine_.UnpluggedAt();
        }
      }
      if (inbound.empty() && outbound.empty() && engine_.MidMessage() && now - lastByte >= kQuietLine)
        engine_.DropPartialMessage();
      midMessage = engine_.MidMessage();
      memoryUnsaved = engine_.TakeMemoryChanged() || memoryUnsaved;
    }

    if (saveBeforeAnswer) {
      SaveMemoryFile(*saveBeforeAnswer);
      saveBeforeAnswer.reset();
    }

    if (unplugged) {
      // The cable is gone: the program's side of the line reports a hang-up, and the device
      // disappears.
      CloseDescriptor(slave_);
      CloseDescriptor(master_);
      if (options_.announce) AnnounceUnplug(unpluggedAt);
      break;
    }

    chunk.clear();
    while (!outbound.empty() && outbound.front().due <= now) {
      chunk.push_back(outbound.front().byte);
      outbound.pop_front();
    }
    if (!chunk.empty()) {
      // Answers nobody reads pile up in the terminal; the program discards them when it opens.
      const ssize_t written = ::write(master_, chunk.data(), chunk.size());
      lastByte = now;
      std::lock_guard<std::mutex> lock(mutex_);
      counts_.sent += written > 0 ? written : 0;
    }

    const bool quiet = inbound.empty() && outbound.empty() && now - lastByte >= kQuietLine;
    if (quiet && memoryUnsaved) {
      SaveMemoryFile(Memory());
      memoryUnsaved = false;
    }

    Clock::time_point wakeAt = now + std::chrono::milliseconds(kIdlePollMs);
    if (!inbound.empty()) wakeAt = std::min(wakeAt, inbound.front().due);
    if (!outbound.empty()) wakeAt = std::min(wakeAt, outbound.front().due);
    // While answers are still due, their times wake the loop; the quiet pause starts after them.
    if ((midMessage || memoryUnsaved) && outbound.empty()) wakeAt = std::min(wakeAt, lastByte + kQuietLine);
    pollfd watched[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    const timespec wait = ToTimespec(wakeAt - now);
    if (::ppoll(watched, 2, &wait, nullptr) <= 0) continue;
    if (watched[1].revents) break;
    if (watched[0].revents & POLLIN) {
      uint8_t buffer[kReadChunk];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      now = Clock::now();
      for (ssize_t i = 0; i < got; ++i) {
        inboundFree = std::max(inboundFree, now) + byteTime;
        inbound.push_back({inboundFree, buffer[i]});
      }
      if (got > 0) {
        lastByte = now;
        std::lock_guard<std::mutex> lock(mutex_);
        counts_.received += got;
      }
    } else if (watched[0].revents & (POLLHUP | POLLERR)) {
      std::this_thread::sleep_for(kHangUpBackOff);
    }
  }

  if (memoryUnsaved) SaveMemoryFile(Memory());
  if (unplugged && options_.unplugged) options_.unplugged();
}

void SimulatorHost::AnnounceUnplug(int target) const {
  const QString what = target == kProbeTarget
                           ? QStringLiteral("the probe")
                           : QStringLiteral("block 0x") +
                                 QString::number(target * kBlockSize, 16).toUpper().rightJustified(3, QLatin1Char('0'));
  std::fprintf(stderr, "m84dpt simulate: cable pulled at %s; %s is gone\n", qPrintable(what), qPrintable(devicePath_));
  std::fflush(stderr);
}

void SimulatorHost::SaveMemoryFile(const PagerImage& memory) {
  if (options_.memoryFile.isEmpty()) return;
  WriteFileAtomically(options_.memoryFile, QByteArray(reinterpret_cast<const char*>(memory.data()), kImageSize));
}

}  // namespace m84
