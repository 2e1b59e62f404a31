#pragma once
// The two ways a computer hands a paging terminal a page: SNPP (RFC 1861), lines of text over TCP
// answered by three-digit codes, and TAP (the Telocator Alphanumeric Protocol), blocks framed by
// STX and ETX with a 3-character checksum over a serial line, answered by ACK, NAK, RS or ESC EOT.
// The bytes of each, and the terminal's side of each conversation as the simulated terminal holds
// it.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace m84::paging {

// What a page through a terminal carries: the pager's id (its capcode) and the message.
struct TerminalPage {
  QString pagerId;
  QString message;
};

// RFC 1861's own port.
constexpr quint16 kSnppPort = 444;

namespace tap {
constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kEot = 0x04;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kRs = 0x1E;
constexpr char kEsc = 0x1B;
constexpr char kCr = 0x0D;
// The terminal's prompt after the caller's carriage return.
inline const QByteArray kIdPrompt = QByteArrayLiteral("ID=");
// Automatic (not manual) entry, protocol PG, version 1: what a computer answers the prompt with.
inline const QByteArray kLogon = QByteArrayLiteral("\x1BPG1");
inline const QByteArray kGoAhead = QByteArrayLiteral("\x1B[p");
inline const QByteArray kDisconnect = QByteArrayLiteral("\x1B\x04");
// A block holds at most 256 characters, framing and checksum included.
constexpr int kLongestBlock = 256;

// The sum of the block's characters from STX through ETX, its low 12 bits as three characters
// of 4 bits each plus '0', most significant first.
QByteArray Checksum(const QByteArray& stxToEtx);
// STX, the fields each ended by CR, ETX, the checksum, CR.
QByteArray Block(const TerminalPage& page);
}  // namespace tap

// What a simulated terminal does wrong on purpose.
enum class TerminalRefusal {
  None,
  WrongId,      // every pager id is unknown
  Busy,         // no page is taken now
  BadChecksum,  // every TAP block's checksum is found wrong
  HangUp,       // the line drops once the page is being given
};
// "wrong-id", "busy", "bad-checksum", "hang-up": the option's words.
std::optional<TerminalRefusal> RefusalNamed(const QString& name);
QString RefusalNames();

// The terminal's side of one conversation: bytes in, its answers out, the pages it accepted.
class TerminalSession {
 public:
  virtual ~TerminalSession() = default;
  // What the terminal says first on a new connection (SNPP's greeting; nothing for TAP).
  virtual QByteArray Open() = 0;
  virtual QByteArray Receive(const QByteArray& bytes) = 0;
  // The terminal ended the conversation (after its last answer) or drops the line (with none).
  bool Ended() const { return ended_; }
  bool HungUp() const { return hungUp_; }
  std::vector<TerminalPage> TakePages() { return std::move(pages_); }

 protected:
  bool ended_ = false;
  bool hungUp_ = false;
  std::vector<TerminalPage> pages_;
};

class SnppTerminal : public TerminalSession {
 public:
  explicit SnppTerminal(TerminalRefusal refusal) : refusal_(refusal) {}
  QByteArray Open() override;
  QByteArray Receive(const QByteArray& bytes) override;

 private:
  QByteArray Answer(const QByteArray& line);
  TerminalRefusal refusal_;
  QByteArray pending_;
  QString pagerId_;
  std::optional<QString> message_;
};

class TapTerminal : public TerminalSession {
 public:
  explicit TapTerminal(TerminalRefusal refusal) : refusal_(refusal) {}
  QByteArray Open() override { return {}; }
  QByteArray Receive(const QByteArray& bytes) override;

 private:
  enum class Stage { Calling, LoggingOn, Blocks };
  QByteArray Logon(const QByteArray& line);
  QByteArray TakeBlock();
  TerminalRefusal refusal_;
  Stage stage_ = Stage::Calling;
  QByteArray pending_;
};

// A pager id as terminals take it: the capcode in digits, within POCSAG's range.
bool IsPagerId(const QString& id);

}  // namespace m84::paging
