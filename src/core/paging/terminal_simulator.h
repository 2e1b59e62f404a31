#pragma once
// A simulated paging terminal, served from a thread of its own as the simulated adapter is: SNPP
// on a TCP port of 127.0.0.1, or TAP on a pseudo-terminal, so that the real socket and serial
// code talk to it. It takes pages, answers as a terminal does (refusing on purpose when told),
// and writes the transmission it would send for each page it takes.

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/paging/terminal_protocols.h"
#include "core/result.h"

namespace m84::paging {

enum class TerminalProtocol { Snpp, Tap };

struct TerminalSimulatorOptions {
  TerminalProtocol protocol = TerminalProtocol::Snpp;
  TerminalRefusal refusal = TerminalRefusal::None;
  // The transmission of the last page taken (a text page on function D), in the form its
  // extension names (.wav, .txt, .bits); none when empty.
  QString airFile;
  int baud = 1200;
  // Called from the serving thread for each page taken, after the air file is written.
  std::function<void(const TerminalPage&)> paged;
};

class TerminalSimulator {
 public:
  explicit TerminalSimulator(TerminalSimulatorOptions options);
  ~TerminalSimulator();
  TerminalSimulator(const TerminalSimulator&) = delete;
  TerminalSimulator& operator=(const TerminalSimulator&) = delete;

  Outcome Start();
  // "127.0.0.1:PORT" for SNPP, the pseudo-terminal's path for TAP.
  const QString& Address() const { return address_; }
  quint16 Port() const { return port_; }
  void Stop();

  std::vector<TerminalPage> Pages() const;

 private:
  void ServeSnpp();
  void ServeTap();
  // Sends the session's answers to fd; false when the session ended the connection.
  bool Answer(TerminalSession& session, int fd, const QByteArray& answer);
  void Take(TerminalSession& session);
  // Waits for fd to be readable; false when stopped.
  bool WaitReadable(int fd);

  TerminalSimulatorOptions options_;
  QString address_;
  quint16 port_ = 0;
  int listening_ = -1;
  int master_ = -1;
  int slave_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<TerminalPage> pages_;
};

}  // namespace m84::paging
