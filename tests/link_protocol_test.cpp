// The adapter's frames, the progress positions, and the simulated adapter's own protocol
// rules (the pseudo-terminal tests rely on it answering like the real adapter).
#include <gtest/gtest.h>

#include <vector>

#include "core/link/adapter_frame.h"
#include "core/link/adapter_link.h"
#include "core/link/simulated_adapter.h"

using namespace m84;

namespace {

std::vector<uint8_t> Bytes(const AdapterFrame& frame) { return std::vector<uint8_t>(frame.begin(), frame.end()); }

std::vector<uint8_t> Feed(SimulatedAdapter& adapter, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> reply;
  for (uint8_t b : bytes) adapter.Receive(b, reply);
  return reply;
}

std::vector<uint8_t> Feed(SimulatedAdapter& adapter, const AdapterFrame& frame) { return Feed(adapter, Bytes(frame)); }

}  // namespace

TEST(AdapterFrame, BytesOfEveryCommand) {
  struct Case {
    const char* name;
    AdapterFrame frame;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {"read 0x540", ReadBlockFrame(0x540), {0x0D, 0x06, 0x28, 0xC3, 0x05, 0x40, 0x40, 0x00, 0xE5}},
      {"probe", ProbeFrame(), {0x0D, 0x06, 0x00, 0xFA, 0x00, 0x00, 0x40, 0x00, 0xB1}},
      {"read 0x000", ReadBlockFrame(0x000), {0x0D, 0x06, 0x28, 0xC3, 0x00, 0x00, 0x40, 0x00, 0xA0}},
      // an unaligned read keeps its address; a write starts on the 16-byte boundary below it
      {"read 0x548", ReadBlockFrame(0x548), {0x0D, 0x06, 0x28, 0xC3, 0x05, 0x48, 0x40, 0x00, 0xED}},
      {"write 0x54F", WriteBlockFrame(0x54F), {0x0D, 0x06, 0x28, 0xC4, 0x05, 0x40, 0x40, 0x00, 0xE2}},
      {"write 0x7C0", WriteBlockFrame(0x7C0), {0x0D, 0x06, 0x28, 0xC4, 0x07, 0xC0, 0x40, 0x00, 0x60}},
      {"end", EndFrame(), {0x0D, 0x06, 0x28, 0xC6, 0x00, 0x00, 0x00, 0x00, 0xE5}},
      {"write enable", WriteEnableFrame(), {0x0D, 0x06, 0x28, 0xC5, 0x22, 0xFA, 0x92, 0xAA, 0x06}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Bytes(c.frame), c.expected) << c.name;
    EXPECT_TRUE(FrameCheckMatches(c.frame)) << c.name;
  }
}

TEST(AdapterFrame, ProgressPositions) {
  // after the first of 24 blocks of 0x000-0x5FF: 16 * 65 / 1536 = 0; after the last: 16
  EXPECT_EQ(ProgressPosition(0x000, 0x5FF, 0x040), 0);
  EXPECT_EQ(ProgressPosition(0x000, 0x5FF, 0x080), 1);
  EXPECT_EQ(ProgressPosition(0x000, 0x5FF, 0x300), 8);
  EXPECT_EQ(ProgressPosition(0x000, 0x5FF, 0x5C0), 15);
  EXPECT_EQ(ProgressPosition(0x000, 0x5FF, 0x600), 16);
  // the whole memory (dump): 32 blocks, the last again reaches 16
  EXPECT_EQ(ProgressPosition(0x000, 0x7FF, 0x040), 0);
  EXPECT_EQ(ProgressPosition(0x000, 0x7FF, 0x800), 16);
}

TEST(WriteProgress, SaysWhatAPagerHoldsAfterAWriteThatStopped) {
  struct Case {
    bool started;
    int writtenEnd;
    bool inDoubt;
    const char* text;
  };
  const Case cases[] = {
      {false, 0x000, false, ""},
      {true, 0x600, false, ""},
      {true, 0x000, false, "no block was written; the pager still holds its old contents"},
      {true, 0x040, false,
       "the pager is half-written: block 0x000 holds the new contents, blocks 0x040 to 0x5C0 still hold the old "
       "contents; writing again repairs it"},
      {true, 0x140, true,
       "the pager is half-written: blocks 0x000 to 0x100 hold the new contents, block 0x140 may hold either, "
       "blocks 0x180 to 0x5C0 still hold the old contents; writing again repairs it"},
      {true, 0x5C0, true,
       "the pager is half-written: blocks 0x000 to 0x580 hold the new contents, block 0x5C0 may hold either; "
       "writing again repairs it"},
  };
  for (const Case& c : cases) {
    WriteProgress progress;
    progress.started = c.started;
    progress.writtenEnd = c.writtenEnd;
    progress.inDoubt = c.inDoubt;
    EXPECT_EQ(DescribeWriteProgress(progress).toStdString(), c.text);
  }
}

TEST(FaultPlan, ParsesEveryKindAndRejectsMalformedItems) {
  const Result<FaultPlan> plan = ParseFaultPlan(
      QStringLiteral("read-nak:3, read-silent:0x10,read-short:23,write-nak:1,write-silent:2,write-data-nak:31,"
                     "enable-nak,corrupt:0x5FF,probe:0x27,probe:silent"));
  ASSERT_TRUE(plan) << plan.failure().reason.toStdString();
  ASSERT_EQ(plan->size(), 10u);
  EXPECT_EQ((*plan)[1].kind, FaultKind::ReadSilent);
  EXPECT_EQ((*plan)[1].value, 16);
  EXPECT_EQ((*plan)[7].kind, FaultKind::Corrupt);
  EXPECT_EQ((*plan)[7].value, 0x5FF);
  EXPECT_EQ((*plan)[9].kind, FaultKind::ProbeSilent);

  for (const char* bad :
       {"read-nak", "read-nak:32", "corrupt:0x800", "probe:0x100", "enable-nak:1", "jam:3", "write-nak:x"}) {
    const Result<FaultPlan> rejected = ParseFaultPlan(QString::fromLatin1(bad));
    ASSERT_FALSE(rejected) << bad;
    EXPECT_FALSE(rejected.failure().reason.isEmpty()) << bad;
  }
  const Result<FaultPlan> none = ParseFaultPlan(QString());
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

TEST(SimulatedAdapter, FindsTheFrameAfterNoiseAndIgnoresADamagedOne) {
  SimulatedAdapter adapter;
  std::vector<uint8_t> noisy = {0x00, 0x0D, 0x0D, 0x77};
  const AdapterFrame probe = ProbeFrame();
  noisy.insert(noisy.end(), probe.begin(), probe.end());
  EXPECT_EQ(Feed(adapter, noisy), std::vector<uint8_t>{kProbeReply});

  AdapterFrame damaged = ReadBlockFrame(0x040);
  damaged[kCheckByte] ^= 0x01;
  EXPECT_TRUE(Feed(adapter, damaged).empty());
  EXPECT_EQ(Feed(adapter, ReadBlockFrame(0x040)).size(), 1u + kBlockSize);
}

TEST(SimulatedAdapter, TakesBlockWritesOnlyAfterTheRightWriteEnable) {
  SimulatedAdapter adapter;
  const PagerImage before = adapter.Memory();
  const std::vector<uint8_t> data(kBlockSize, 0xA5);

  EXPECT_EQ(Feed(adapter, WriteBlockFrame(0x100)), std::vector<uint8_t>{kNakByte});
  AdapterFrame wrongCode = WriteEnableFrame();
  wrongCode[kPadByte] ^= 0x01;
  wrongCode[kCheckByte] ^= 0x01;
  EXPECT_EQ(Feed(adapter, wrongCode), std::vector<uint8_t>{kNakByte});
  EXPECT_EQ(Feed(adapter, WriteBlockFrame(0x100)), std::vector<uint8_t>{kNakByte});
  EXPECT_EQ(adapter.Memory(), before);

  EXPECT_EQ(Feed(adapter, WriteEnableFrame()), std::vector<uint8_t>{kAckByte});
  EXPECT_EQ(Feed(adapter, WriteBlockFrame(0x100)), std::vector<uint8_t>{kAckByte});
  EXPECT_EQ(Feed(adapter, data), std::vector<uint8_t>{kAckByte});
  EXPECT_EQ(adapter.Memory()[0x100], 0xA5);
  EXPECT_EQ(adapter.Memory()[0x13F], 0xA5);
  EXPECT_EQ(adapter.Memory()[0x140], before[0x140]);

  // the end command closes the write window again
  EXPECT_EQ(Feed(adapter, EndFrame()).size(), 1u);
  EXPECT_EQ(Feed(adapter, WriteBlockFrame(0x100)), std::vector<uint8_t>{kNakByte});
}
