// Pages through a paging terminal: the TAP checksum against a block worked by hand, then SNPP over
// a real socket and TAP over a real pseudo-terminal against the simulated terminal, taking the page
// and refusing it every way it can.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "core/paging/paging_terminal.h"
#include "core/paging/pocsag_decoder.h"
#include "core/paging/terminal_simulator.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::paging;

// STX '1' '2' '3' CR 'A' 'B' 'C' CR ETX: 2 + 49 + 50 + 51 + 13 + 65 + 66 + 67 + 13 + 3 = 379
// = 0x17B, whose three nibbles 1, 7, 11 plus '0' are "17;".
TEST(TapBlocks, CarryTheChecksumWorkedByHand) {
  EXPECT_EQ(tap::Block({QStringLiteral("123"), QStringLiteral("ABC")}), QByteArray("\x02"
                                                                                   "123\rABC\r\x03"
                                                                                   "17;\r"));
}

namespace {

Outcome Send(TerminalProtocol protocol, const TerminalSimulator& terminal, const TerminalPage& page) {
  return protocol == TerminalProtocol::Snpp ? SendBySnpp(QStringLiteral("127.0.0.1"), terminal.Port(), page)
                                            : SendByTap(terminal.Address(), page);
}

const char* Named(TerminalProtocol protocol) { return protocol == TerminalProtocol::Snpp ? "SNPP" : "TAP"; }

}  // namespace

TEST(PagingTerminal, TakesThePageAndWritesItsTransmission) {
  QTemporaryDir dir;
  for (TerminalProtocol protocol : {TerminalProtocol::Snpp, TerminalProtocol::Tap}) {
    SCOPED_TRACE(Named(protocol));
    TerminalSimulatorOptions options;
    options.protocol = protocol;
    options.airFile = dir.filePath(QStringLiteral("air.wav"));
    options.baud = 512;
    TerminalSimulator terminal(options);
    ASSERT_TRUE(terminal.Start());
    const TerminalPage page{QStringLiteral("1234567"), QStringLiteral("TEST 7: call 555-0134")};
    const Outcome sent = Send(protocol, terminal, page);
    ASSERT_TRUE(sent) << sent.failure().Text().toStdString();
    // A second page on the same terminal: a call ends cleanly, and the next one is answered.
    ASSERT_TRUE(Send(protocol, terminal, {QStringLiteral("8"), QStringLiteral("again")}));
    terminal.Stop();
    ASSERT_EQ(terminal.Pages().size(), 2u);
    EXPECT_EQ(terminal.Pages()[0].message, page.message);

    QFile air(options.airFile);
    ASSERT_TRUE(air.open(QIODevice::ReadOnly));
    const QByteArray wav = air.readAll();
    std::vector<int16_t> samples(size_t(wav.size() - 44) / 2);
    std::memcpy(samples.data(), wav.constData() + 44, samples.size() * 2);
    const std::vector<pocsag::HeardPage> heard = pocsag::DecodeAudio(samples);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].page, (pocsag::Page{8, 3, pocsag::PageKind::Text, QStringLiteral("again")}));
    EXPECT_EQ(heard[0].baud, 512);
  }
}

TEST(PagingTerminal, RefusalsSayWhatTheTerminalDidAndTakeNoPage) {
  struct Case {
    TerminalProtocol protocol;
    TerminalRefusal refusal;
    const char* says;
  };
  const Case cases[] = {
      {TerminalProtocol::Snpp, TerminalRefusal::WrongId,
       "the terminal refused pager id 1234567: 550 Error, Invalid Pager ID"},
      {TerminalProtocol::Snpp, TerminalRefusal::Busy, "the terminal refused the call: 421 Too busy, try again later"},
      {TerminalProtocol::Snpp, TerminalRefusal::HangUp, "the terminal hung up"},
      {TerminalProtocol::Tap, TerminalRefusal::WrongId,
       "the terminal refused pager id 1234567 (\"511 Invalid pager ID\")"},
      {TerminalProtocol::Tap, TerminalRefusal::Busy,
       "the terminal refused the logon (\"Terminal busy, try again later\")"},
      {TerminalProtocol::Tap, TerminalRefusal::BadChecksum, "the terminal found the page's checksum wrong 3 times"},
      {TerminalProtocol::Tap, TerminalRefusal::HangUp, "the terminal hung up"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Named(c.protocol) << ", " << c.says);
    TerminalSimulatorOptions options;
    options.protocol = c.protocol;
    options.refusal = c.refusal;
    TerminalSimulator terminal(options);
    ASSERT_TRUE(terminal.Start());
    const Outcome sent = Send(c.protocol, terminal, {QStringLiteral("1234567"), QStringLiteral("TEST")});
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.failure().Text(), QStringLiteral("Page not sent: ") + QLatin1String(c.says));
    EXPECT_TRUE(terminal.Pages().empty());
  }
}

TEST(PagingTerminal, NobodyThereIsAClearFailure) {
  QTemporaryDir dir;
  // A port nobody listens on: the simulated terminal's, once it has stopped.
  TerminalSimulator stopped({});
  ASSERT_TRUE(stopped.Start());
  const quint16 port = stopped.Port();
  stopped.Stop();
  const Outcome snpp = SendBySnpp(QStringLiteral("127.0.0.1"), port, {QStringLiteral("8"), QStringLiteral("x")});
  ASSERT_FALSE(snpp);
  EXPECT_TRUE(snpp.failure().reason.startsWith(QStringLiteral("cannot reach the terminal at 127.0.0.1:")))
      << snpp.failure().reason.toStdString();
  const Outcome tap = SendByTap(dir.filePath(QStringLiteral("ttyNone")), {QStringLiteral("8"), QStringLiteral("x")});
  ASSERT_FALSE(tap);
  EXPECT_TRUE(tap.failure().reason.startsWith(QStringLiteral("cannot open "))) << tap.failure().reason.toStdString();
  const Outcome badId = SendBySnpp(QStringLiteral("127.0.0.1"), port, {QStringLiteral("12a"), QStringLiteral("x")});
  EXPECT_EQ(badId.failure().reason, QStringLiteral("the pager id is a capcode: digits, 0 to 2097151"));
}
