#include "core/paging/terminal_protocols.h"

#include "core/paging/pocsag_codeword.h"

namespace m84::paging {

namespace {

constexpr int kChecksumBits = 12;
constexpr int kChecksumCharacters = 3;

QByteArray SnppLine(const char* text) { return QByteArray(text) + "\r\n"; }

// A TAP answer: a line of text for people, then the control character the caller acts on.
QByteArray TapAnswer(const char* text, const QByteArray& control) {
  return QByteArray(text) + tap::kCr + control + tap::kCr;
}

}  // namespace

namespace tap {

QByteArray Checksum(const QByteArray& stxToEtx) {
  unsigned sum = 0;
  for (char c : stxToEtx) sum += static_cast<unsigned char>(c) & 0x7F;
  sum &= (1u << kChecksumBits) - 1;
  QByteArray text;
  for (int i = kChecksumCharacters - 1; i >= 0; --i) text += char('0' + ((sum >> (4 * i)) & 0xF));
  return text;
}

QByteArray Block(const TerminalPage& page) {
  const QByteArray body = kStx + page.pagerId.toLatin1() + kCr + page.message.toLatin1() + kCr + kEtx;
  return body + Checksum(body) + kCr;
}

}  // namespace tap

std::optional<TerminalRefusal> RefusalNamed(const QString& name) {
  if (name == QLatin1String("wrong-id")) return TerminalRefusal::WrongId;
  if (name == QLatin1String("busy")) return TerminalRefusal::Busy;
  if (name == QLatin1String("bad-checksum")) return TerminalRefusal::BadChecksum;
  if (name == QLatin1String("hang-up")) return TerminalRefusal::HangUp;
  return std::nullopt;
}

QString RefusalNames() { return QStringLiteral("wrong-id, busy, bad-checksum, hang-up"); }

bool IsPagerId(const QString& id) {
  bool digits = !id.isEmpty();
  for (QChar c : id) digits = digits && c.isDigit();
  bool ok = false;
  return digits && id.toUInt(&ok) <= pocsag::kLargestCapcode && ok;
}

QByteArray SnppTerminal::Open() {
  if (refusal_ == TerminalRefusal::Busy) {
    ended_ = true;
    return SnppLine("421 Too busy, try again later");
  }
  return SnppLine("220 M84 DPT simulated paging terminal (SNPP) ready");
}

QByteArray SnppTerminal::Receive(const QByteArray& bytes) {
  pending_ += bytes;
  QByteArray answers;
  for (qsizetype end = pending_.indexOf('\n'); end >= 0 && !ended_; end = pending_.indexOf('\n')) {
    QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    if (line.endsWith('\r')) line.chop(1);
    answers += Answer(line);
  }
  return answers;
}

QByteArray SnppTerminal::Answer(const QByteArray& line) {
  const QByteArray command = line.left(4).toUpper();
  const QString argument = QString::fromLatin1(line.mid(5)).trimmed();
  if (command == "PAGE") {
    if (refusal_ == TerminalRefusal::HangUp) {
      ended_ = hungUp_ = true;
      return {};
    }
    if (refusal_ == TerminalRefusal::WrongId || !IsPagerId(argument)) return SnppLine("550 Error, Invalid Pager ID");
    pagerId_ = argument;
    return SnppLine("250 Pager ID Accepted");
  }
  if (command == "MESS") {
    message_ = QString::fromLatin1(line.mid(5));
    return SnppLine("250 Message OK");
  }
  if (command == "SEND") {
    if (pagerId_.isEmpty() || !message_) return SnppLine("503 Error, Pager ID or Message Incomplete");
    pages_.push_back({pagerId_, *message_});
    pagerId_.clear();
    message_.reset();
    return SnppLine("250 Message Sent Successfully");
  }
  if (command == "RESE") {
    pagerId_.clear();
    message_.reset();
    return SnppLine("250 RESET OK");
  }
  if (command == "QUIT") {
    ended_ = true;
    return SnppLine("221 OK, Goodbye");
  }
  return SnppLine("500 Command Not Implemented");
}

QByteArray TapTerminal::Receive(const QByteArray& bytes) {
  pending_ += bytes;
  QByteArray answers;
  while (!ended_) {
    if (stage_ == Stage::Blocks) {
      const QByteArray answer = TakeBlock();
      if (answer.isEmpty()) break;
      answers += answer;
      continue;
    }
    const qsizetype end = pending_.indexOf(tap::kCr);
    if (end < 0) break;
    const QByteArray line = pending_.left(end);
    pending_.remove(0, end + 1);
    if (stage_ == Stage::Calling || line.isEmpty()) {
      // Each carriage return of a caller who has not logged on yet is answered with the prompt.
      stage_ = Stage::LoggingOn;
      answers += tap::kIdPrompt;
      continue;
    }
    answers += Logon(line);
  }
  return answers;
}

QByteArray TapTerminal::Logon(const QByteArray& line) {
  if (!line.startsWith(tap::kLogon)) return TapAnswer("Logon not understood", QByteArray(1, tap::kNak));
  if (refusal_ == TerminalRefusal::Busy) {
    ended_ = true;
    return TapAnswer("Terminal busy, try again later", tap::kDisconnect);
  }
  stage_ = Stage::Blocks;
  return QByteArray("110 1.8") + tap::kCr + tap::kAck + tap::kCr + tap::kGoAhead + tap::kCr;
}

// The answer to the next whole block (or to the caller's EOT), or nothing while it is coming.
QByteArray TapTerminal::TakeBlock() {
  const qsizetype start = pending_.indexOf(tap::kStx);
  const qsizetype eot = pending_.indexOf(tap::kEot);
  if (eot >= 0 && (start < 0 || eot < start) && pending_.indexOf(tap::kCr, eot) > eot) {
    ended_ = true;
    pending_.clear();
    return TapAnswer("115 Goodbye", tap::kDisconnect);
  }
  if (start < 0) return {};
  const qsizetype etx = pending_.indexOf(tap::kEtx, start);
  // ETX, three checksum characters, CR.
  if (etx < 0 || pending_.size() < etx + 5) return {};
  const QByteArray body = pending_.mid(start, etx - start + 1);
  const QByteArray checksum = pending_.mid(etx + 1, 3);
  pending_.remove(0, etx + 5);
  if (refusal_ == TerminalRefusal::HangUp) {
    ended_ = hungUp_ = true;
    return {};
  }
  if (refusal_ == TerminalRefusal::BadChecksum || checksum != tap::Checksum(body))
    return TapAnswer("Checksum error, send again", QByteArray(1, tap::kNak));
  const QList<QByteArray> fields = body.mid(1, body.size() - 2).split(tap::kCr);
  const QString pagerId = QString::fromLatin1(fields.value(0));
  if (refusal_ == TerminalRefusal::WrongId || !IsPagerId(pagerId))
    return TapAnswer("511 Invalid pager ID", QByteArray(1, tap::kRs));
  pages_.push_back({pagerId, QString::fromLatin1(fields.value(1))});
  return TapAnswer("211 Page accepted", QByteArray(1, tap::kAck));
}

}  // namespace m84::paging
