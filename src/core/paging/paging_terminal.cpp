#include "core/paging/paging_terminal.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QTcpSocket>

namespace m84::paging {

namespace {

// A terminal answers a line at once; a modem line and a busy terminal take longer.
constexpr int kConnectMs = 10000;
constexpr int kAnswerMs = 10000;
// TAP: the caller's carriage return is sent this many times, this far apart, before giving up on
// the prompt; a block or a logon the terminal asks again for is sent this many times in all.
constexpr int kTapCalls = 3;
constexpr int kTapCallMs = 2000;
constexpr int kTapTries = 3;
constexpr int kTapBaud = 1200;
constexpr int kLongestPassword = 6;

Failure NotSent(const QString& reason) { return Failed(QStringLiteral("Page not sent"), reason); }

// ---- SNPP ----

class SnppLine {
 public:
  explicit SnppLine(QTcpSocket& socket) : socket_(socket) {}

  // The terminal's next answer line, or a failure when it hung up or stayed silent.
  Result<QByteArray> Answer() {
    const QDeadlineTimer deadline(kAnswerMs);
    while (!socket_.canReadLine()) {
      if (socket_.state() != QAbstractSocket::ConnectedState && socket_.bytesAvailable() == 0)
        return NotSent(QStringLiteral("the terminal hung up"));
      if (deadline.hasExpired())
        return NotSent(QStringLiteral("the terminal did not answer within %1 s").arg(kAnswerMs / 1000));
      if (!socket_.waitForReadyRead(int(deadline.remainingTime())) &&
          socket_.state() != QAbstractSocket::ConnectedState && !socket_.canReadLine())
        return NotSent(QStringLiteral("the terminal hung up"));
    }
    return socket_.readLine().trimmed();
  }

  // Sends the command and wants an answer of the code given; the terminal's own words otherwise.
  Outcome Exchange(const QByteArray& command, const char* wanted, const QString& what) {
    socket_.write(command + "\r\n");
    if (!socket_.waitForBytesWritten(kAnswerMs) && socket_.bytesToWrite() > 0)
      return NotSent(QStringLiteral("the terminal hung up"));
    const Result<QByteArray> answer = Answer();
    if (!answer) return answer.failure();
    if (!answer->startsWith(wanted))
      return NotSent(QStringLiteral("the terminal refused %1: %2").arg(what, QString::fromLatin1(*answer)));
    return Succeeded();
  }

 private:
  QTcpSocket& socket_;
};

// ---- TAP ----

class TapLine {
 public:
  explicit TapLine(QSerialPort& port) : port_(port) {}

  void Send(const QByteArray& bytes) {
    port_.write(bytes);
    port_.waitForBytesWritten(kAnswerMs);
  }

  // Waits for the prompt "ID=" (which ends in no carriage return).
  bool Prompted(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!received_.contains(tap::kIdPrompt)) {
      if (deadline.hasExpired() || !Fill(deadline)) return false;
    }
    received_.remove(0, received_.indexOf(tap::kIdPrompt) + tap::kIdPrompt.size());
    return true;
  }

  // The terminal's lines up to and including the first that is one of the controls; the text
  // lines before it go to said. Nothing when it hung up or stayed silent (hungUp tells which).
  std::optional<QByteArray> Control(const QList<QByteArray>& controls, QStringList& said) {
    const QDeadlineTimer deadline(kAnswerMs);
    for (;;) {
      const qsizetype end = received_.indexOf(tap::kCr);
      if (end >= 0) {
        QByteArray line = received_.left(end);
        received_.remove(0, end + 1);
        line.replace('\n', QByteArray());
        if (line == tap::kDisconnect) ended_ = true;
        if (controls.contains(line)) return line;
        if (!line.isEmpty()) said << QString::fromLatin1(line);
        continue;
      }
      if (deadline.hasExpired() || !Fill(deadline)) return std::nullopt;
    }
  }

  bool HungUp() const { return hungUp_; }
  // The terminal said goodbye or the line dropped: there is nobody to say goodbye to.
  bool Ended() const { return ended_ || hungUp_; }

 private:
  bool Fill(const QDeadlineTimer& deadline) {
    if (!port_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
      // A line that dropped: the device reports an error (and the wait ends early) rather than
      // silence.
      const QSerialPort::SerialPortError error = port_.error();
      if ((error != QSerialPort::NoError && error != QSerialPort::TimeoutError) || !deadline.hasExpired())
        hungUp_ = true;
      return false;
    }
    received_ += port_.readAll();
    return true;
  }

  QSerialPort& port_;
  QByteArray received_;
  bool hungUp_ = false;
  bool ended_ = false;
};

QString Quoted(const QStringList& said) {
  return said.isEmpty() ? QString() : QStringLiteral(" (\"%1\")").arg(said.join(QStringLiteral(" / ")));
}

Failure Silent(const TapLine& line, const QString& waitingFor) {
  return NotSent(
      line.HungUp()
          ? QStringLiteral("the terminal hung up")
          : QStringLiteral("the terminal did not answer %1 within %2 s").arg(waitingFor).arg(kAnswerMs / 1000));
}

Outcome TapLogon(TapLine& line, const QString& password) {
  bool prompted = false;
  for (int call = 0; call < kTapCalls && !prompted; ++call) {
    line.Send(QByteArray(1, tap::kCr));
    prompted = line.Prompted(kTapCallMs);
    if (line.HungUp()) return NotSent(QStringLiteral("the terminal hung up"));
  }
  if (!prompted) return NotSent(QStringLiteral("the terminal did not prompt with ID= after %1 calls").arg(kTapCalls));
  for (int attempt = 0; attempt < kTapTries; ++attempt) {
    line.Send(tap::kLogon + password.toLatin1() + tap::kCr);
    QStringList said;
    const std::optional<QByteArray> control =
        line.Control({QByteArray(1, tap::kAck), QByteArray(1, tap::kNak), tap::kDisconnect}, said);
    if (!control) return Silent(line, QStringLiteral("the logon"));
    if (*control == tap::kDisconnect) return NotSent(QStringLiteral("the terminal refused the logon") + Quoted(said));
    if (control->at(0) == tap::kNak) continue;
    QStringList more;
    if (!line.Control({tap::kGoAhead, tap::kDisconnect}, more))
      return Silent(line, QStringLiteral("with its go-ahead"));
    return Succeeded();
  }
  return NotSent(QStringLiteral("the terminal asked for the logon %1 times").arg(kTapTries));
}

Outcome TapSendBlock(TapLine& line, const TerminalPage& page) {
  for (int attempt = 0; attempt < kTapTries; ++attempt) {
    line.Send(tap::Block(page));
    QStringList said;
    const std::optional<QByteArray> control = line.Control(
        {QByteArray(1, tap::kAck), QByteArray(1, tap::kNak), QByteArray(1, tap::kRs), tap::kDisconnect}, said);
    if (!control) return Silent(line, QStringLiteral("the page"));
    if (*control == tap::kDisconnect) return NotSent(QStringLiteral("the terminal hung up on the page") + Quoted(said));
    switch (control->at(0)) {
      case tap::kAck: return Succeeded();
      case tap::kRs:
        return NotSent(QStringLiteral("the terminal refused pager id %1").arg(page.pagerId) + Quoted(said));
      default: break;  // NAK: the block again
    }
  }
  return NotSent(QStringLiteral("the terminal found the page's checksum wrong %1 times").arg(kTapTries));
}

}  // namespace

QString TerminalPageFault(const TerminalPage& page) {
  if (!IsPagerId(page.pagerId)) return QStringLiteral("the pager id is a capcode: digits, 0 to 2097151");
  for (QChar c : page.message)
    if (c.unicode() < 0x20 || c.unicode() > 0x7E)
      return QStringLiteral("the message holds a character terminals do not take (printable ASCII only)");
  if (tap::Block(page).size() > tap::kLongestBlock)
    return QStringLiteral("the message is too long for one page (at most %1 characters)")
        .arg(tap::kLongestBlock - tap::Block({page.pagerId, {}}).size());
  return {};
}

Outcome SendBySnpp(const QString& host, quint16 port, const TerminalPage& page) {
  if (const QString fault = TerminalPageFault(page); !fault.isEmpty()) return NotSent(fault);
  QTcpSocket socket;
  socket.connectToHost(host, port);
  if (!socket.waitForConnected(kConnectMs))
    return NotSent(
        QStringLiteral("cannot reach the terminal at %1:%2: %3").arg(host).arg(port).arg(socket.errorString()));
  SnppLine line(socket);
  const Result<QByteArray> greeting = line.Answer();
  if (!greeting) return greeting.failure();
  if (!greeting->startsWith("220"))
    return NotSent(QStringLiteral("the terminal refused the call: %1").arg(QString::fromLatin1(*greeting)));
  Outcome sent =
      line.Exchange("PAGE " + page.pagerId.toLatin1(), "250", QStringLiteral("pager id %1").arg(page.pagerId));
  if (sent) sent = line.Exchange("MESS " + page.message.toLatin1(), "250", QStringLiteral("the message"));
  if (sent) sent = line.Exchange("SEND", "250", QStringLiteral("the page"));
  // Goodbye either way, where the line still stands; the page's fate is already known.
  if (socket.state() == QAbstractSocket::ConnectedState) (void)line.Exchange("QUIT", "221", QString());
  return sent;
}

Outcome SendByTap(const QString& device, const TerminalPage& page, const QString& password) {
  if (const QString fault = TerminalPageFault(page); !fault.isEmpty()) return NotSent(fault);
  if (password.size() > kLongestPassword)
    return NotSent(QStringLiteral("a TAP password has at most %1 characters").arg(kLongestPassword));
  QSerialPort port(device);
  port.setBaudRate(kTapBaud);
  port.setDataBits(QSerialPort::Data7);
  port.setParity(QSerialPort::EvenParity);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);
  if (!port.open(QIODevice::ReadWrite))
    return NotSent(QStringLiteral("cannot open %1: %2").arg(device, port.errorString()));
  TapLine line(port);
  const Outcome loggedOn = TapLogon(line, password);
  if (!loggedOn) return loggedOn;
  const Outcome sent = TapSendBlock(line, page);
  if (!line.Ended()) {
    line.Send(QByteArray(1, tap::kEot) + tap::kCr);
    QStringList said;
    (void)line.Control({tap::kDisconnect}, said);
  }
  return sent;
}

}  // namespace m84::paging
