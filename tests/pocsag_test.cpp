// POCSAG: codewords against ones worked by hand, the batch layout, BCH correction, our decoder
// through what a real channel does to a signal, and multimon-ng's reading of what we send.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <random>

#include "core/paging/pocsag_codeword.h"
#include "core/paging/pocsag_decoder.h"
#include "core/paging/pocsag_page.h"
#include "core/paging/pocsag_transmission.h"
#include "multimon_reading.h"

using namespace m84;
using namespace m84::pocsag;

namespace {

std::vector<uint32_t> Codewords(const Page& page) {
  const Result<std::vector<uint32_t>> codewords = TransmissionCodewords({page});
  EXPECT_TRUE(codewords) << codewords.failure().Text().toStdString();
  return codewords ? *codewords : std::vector<uint32_t>{};
}

// The codewords after the sync codewords are taken out: slot 0 is frame 0's first codeword.
std::vector<uint32_t> Slots(const std::vector<uint32_t>& codewords) {
  std::vector<uint32_t> placed;
  for (size_t i = 0; i < codewords.size(); ++i)
    if (i % (kCodewordsPerBatch + 1) != 0) placed.push_back(codewords[i]);
  return placed;
}

std::string Described(const Page& page) {
  return QStringLiteral("capcode %1, function %2, kind %3, \"%4\"")
      .arg(page.capcode)
      .arg(FunctionLetter(page.function))
      .arg(int(page.kind))
      .arg(page.message)
      .toStdString();
}

QString Letters(int count) {
  QString text;
  for (int i = 0; i < count; ++i) text += QLatin1Char("The quick brown fox jumps over 13 lazy dogs! "[i % 45]);
  return text;
}

}  // namespace

// Worked by hand, as polynomial division of the 21 information bits (times x^10) by
// x^10+x^9+x^8+x^6+x^5+x^3+1 over GF(2), and checked with a few lines of Python that divide
// bit by bit; the same division gives back the sync and idle codewords, which are valid codewords.
//   capcode 8, function A: address bits 000000000000000001, function 00: information
//     0 000000000000000001 00 -> check bits 0100110111, parity 0 -> 0x000026EC
//   capcode 1234567 (0x12D687, frame 7), function D: address 0x25AD0, function 11 -> 0x4B5A1A25
//   capcode 2097151, function D: every address and function bit 1 -> 0x7FFFF896
//   text "A": 'A' 0x41 LSB first 1000001, then EOT 0x04 as 0010000, six fill bits 0:
//     1 10000010010000000000 -> 0xC1200491
//   digits "12345": each digit LSB first: 1000 0100 1100 0010 1010 -> 0xC261572C
TEST(PocsagCodewords, MatchCodewordsWorkedByHand) {
  struct Case {
    const char* what;
    uint32_t got;
    uint32_t expected;
  };
  const Case cases[] = {
      {"address of capcode 8, A", AddressCodeword(8, 0), 0x000026EC},
      {"address of capcode 1234567, D", AddressCodeword(1234567, 3), 0x4B5A1A25},
      {"address of capcode 2097151, D", AddressCodeword(2097151, 3), 0x7FFFF896},
      {"text A", Slots(Codewords({1234567, 3, PageKind::Text, QStringLiteral("A")}))[15], 0xC1200491},
      {"digits 12345", Slots(Codewords({8, 0, PageKind::Numeric, QStringLiteral("12345")}))[1], 0xC261572C},
      {"sync codeword, from its information bits", WithCheckBits(kSyncCodeword >> 11), kSyncCodeword},
      {"idle codeword, from its information bits", WithCheckBits(kIdleCodeword >> 11), kIdleCodeword},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what << std::hex << ": 0x" << c.got;
}

TEST(PocsagCodewords, BatchesPutTheAddressInTheCapcodesFrameAndIdleAround) {
  for (uint32_t capcode = 1234560; capcode < 1234568; ++capcode) {
    SCOPED_TRACE(capcode);
    const std::vector<uint32_t> codewords = Codewords({capcode, 3, PageKind::Text, Letters(40)});
    ASSERT_EQ(codewords.size() % (kCodewordsPerBatch + 1), 0u);
    for (size_t i = 0; i < codewords.size(); i += kCodewordsPerBatch + 1) EXPECT_EQ(codewords[i], kSyncCodeword);
    const std::vector<uint32_t> placed = Slots(codewords);
    const size_t address = size_t(FrameOf(capcode)) * kCodewordsPerFrame;
    for (size_t i = 0; i < address; ++i) EXPECT_EQ(placed[i], kIdleCodeword);
    EXPECT_EQ(placed[address], AddressCodeword(capcode, 3));
    // 40 characters of 7 bits fill 14 message codewords to the last bit; idle to the end.
    for (size_t i = address + 1; i <= address + 14; ++i) EXPECT_TRUE(IsMessage(placed[i])) << i;
    for (size_t i = address + 15; i < placed.size(); ++i) EXPECT_EQ(placed[i], kIdleCodeword) << i;
    for (uint32_t codeword : codewords) EXPECT_TRUE(IsValidCodeword(codeword)) << std::hex << codeword;
  }
  const std::vector<uint8_t> bits = TransmissionBits(Codewords({8, 0, PageKind::Tone, {}}));
  ASSERT_EQ(bits.size(), size_t(kPreambleBits + (kCodewordsPerBatch + 1) * kCodewordBits));
  for (int i = 0; i < kPreambleBits; ++i) ASSERT_EQ(bits[i], (i + 1) % 2) << i;
}

TEST(PocsagCodewords, RefuseWhatAPageCannotCarry) {
  const Page refused[] = {
      {kLargestCapcode + 1, 0, PageKind::Tone, {}},
      {8, 0, PageKind::Numeric, QStringLiteral("12a")},
      {8, 3, PageKind::Text, QStringLiteral("caf\u00e9")},
      {8, 0, PageKind::Tone, QStringLiteral("1")},
  };
  for (const Page& page : refused) EXPECT_FALSE(TransmissionCodewords({page})) << Described(page);
}

TEST(PocsagCodewords, CorrectionPutsRightOneOrTwoWrongBitsAndNeverThree) {
  for (uint32_t sent : {AddressCodeword(2097151, 3), MessageCodeword(0xABCDE), kIdleCodeword}) {
    for (int first = 0; first < 32; ++first) {
      const auto one = CorrectCodeword(sent ^ (1u << first));
      ASSERT_TRUE(one && one->codeword == sent && one->errors == 1) << first;
      for (int second = first + 1; second < 32; ++second) {
        const uint32_t twice = sent ^ (1u << first) ^ (1u << second);
        const auto two = CorrectCodeword(twice);
        ASSERT_TRUE(two && two->codeword == sent && two->errors == 2) << first << "," << second;
        // The parity bit makes the distance six: three wrong bits are seen, never mended.
        for (int third = second + 1; third < 32; third += 5)
          ASSERT_FALSE(CorrectCodeword(twice ^ (1u << third))) << first << "," << second << "," << third;
      }
    }
  }
}

TEST(PocsagPages, TextAndDigitsReadBackAsSent) {
  for (const Page& page : {Page{8, 3, PageKind::Text, Letters(80)}, Page{8, 3, PageKind::Text, QStringLiteral("x")},
                           Page{8, 0, PageKind::Numeric, QStringLiteral("0123456789*U -)(")}}) {
    const Result<std::vector<uint32_t>> contents = MessageContents(page);
    ASSERT_TRUE(contents);
    EXPECT_EQ(page.kind == PageKind::Text ? TextMessage(*contents) : NumericMessage(*contents), page.message);
  }
}

namespace {

// What a channel does to a transmission on its way to the decoder.
struct Impairment {
  const char* name;
  double clock = 1.0;     // the transmitter's bit rate over the nominal
  double noise = 0;       // standard deviation over the signal's level
  bool inverted = false;  // a receiver whose discriminator gives the opposite polarity
  int wrongBits = 0;      // per codeword, sync codewords too
};

std::vector<int16_t> Received(const std::vector<uint32_t>& codewords, int baud, const Impairment& impairment,
                              uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bits = TransmissionBits(codewords);
  for (size_t word = 0; word < codewords.size(); ++word) {
    std::vector<int> positions(kCodewordBits);
    std::iota(positions.begin(), positions.end(), 0);
    std::shuffle(positions.begin(), positions.end(), random);
    for (int i = 0; i < impairment.wrongBits; ++i) bits[kPreambleBits + word * kCodewordBits + positions[i]] ^= 1;
  }
  std::vector<int16_t> samples = DiscriminatorAudio(bits, baud * impairment.clock);
  std::normal_distribution<double> noise(0, impairment.noise * 12000);
  for (int16_t& sample : samples) {
    const double level = (impairment.inverted ? -sample : sample) + (impairment.noise > 0 ? noise(random) : 0);
    sample = static_cast<int16_t>(std::clamp(level, -32768.0, 32767.0));
  }
  return samples;
}

}  // namespace

TEST(PocsagDecoder, HearsOurPagesThroughNoiseClockErrorsInversionAndWrongBits) {
  const Impairment impairments[] = {
      {"clean"},
      {"noise", 1.0, 0.8},
      {"slow clock", 0.99},
      {"fast clock", 1.01},
      {"inverted", 1.0, 0, true},
      {"one wrong bit a codeword", 1.0, 0, false, 1},
      {"two wrong bits a codeword", 1.0, 0, false, 2},
      {"all at once", 1.01, 0.5, true, 2},
  };
  const std::vector<Page> pages = {{2097151, 3, PageKind::Text, Letters(80)},
                                   {1234564, 0, PageKind::Numeric, QStringLiteral("555 0123-4")},
                                   {8, 1, PageKind::Tone, {}}};
  const std::vector<uint32_t> codewords = *TransmissionCodewords(pages);
  uint32_t seed = 1;
  for (int baud : kBaudRates) {
    for (const Impairment& impairment : impairments) {
      SCOPED_TRACE(testing::Message() << baud << " baud, " << impairment.name);
      const std::vector<HeardPage> heard = DecodeAudio(Received(codewords, baud, impairment, seed++));
      ASSERT_EQ(heard.size(), pages.size());
      for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(heard[i].page, pages[i]) << Described(heard[i].page);
        EXPECT_EQ(heard[i].baud, baud);
        EXPECT_FALSE(heard[i].cutShort);
      }
      if (impairment.wrongBits > 0 && impairment.noise == 0)
        EXPECT_GT(heard[0].correctedBits, 20 * (impairment.wrongBits - 1));
    }
  }
}

TEST(PocsagDecoder, HearsNothingInNoiseAlone) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 8000);
  std::vector<int16_t> samples(kSampleRate * 60);
  for (int16_t& sample : samples) sample = static_cast<int16_t>(std::clamp(noise(random), -32768.0, 32767.0));
  EXPECT_TRUE(DecodeAudio(samples).empty());
}

namespace {

// The pages multimon-ng heard in a WAVE file, or nothing where it is not installed.
std::optional<std::vector<HeardPage>> MultimonPages(const QString& wav, PageKind kind) {
  // multimon-ng reads a WAVE file through sox.
  const QString program = QStandardPaths::findExecutable(QStringLiteral("multimon-ng"));
  if (program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty()) return std::nullopt;
  QProcess multimon;
  // -r: sox, which reads the WAVE file for it, dithers with a fixed seed, so that a run is repeatable.
  multimon.start(program,
                 {QStringLiteral("-t"), QStringLiteral("wav"), QStringLiteral("-r"), QStringLiteral("-q"),
                  QStringLiteral("-a"), QStringLiteral("POCSAG512"), QStringLiteral("-a"), QStringLiteral("POCSAG1200"),
                  QStringLiteral("-a"), QStringLiteral("POCSAG2400"), QStringLiteral("-f"),
                  kind == PageKind::Numeric ? QStringLiteral("numeric") : QStringLiteral("alpha"), wav});
  EXPECT_TRUE(multimon.waitForFinished(30000));
  std::vector<HeardPage> pages;
  for (const QString& line : QString::fromUtf8(multimon.readAllStandardOutput()).split(QLatin1Char('\n')))
    if (const std::optional<HeardPage> page = MultimonPage(line)) pages.push_back(*page);
  return pages;
}

}  // namespace

// Every frame (the capcodes' last digits 0 to 7), the smallest capcode a pager holds and the
// largest, text of 0, 1, 40 and 80 characters, digits and tone only, each at the three speeds.
TEST(PocsagMultimon, ReadsOurTransmissionsAsWeDo) {
  QTemporaryDir dir;
  const Page cases[] = {
      {8, 3, PageKind::Text, {}},
      {2097151, 3, PageKind::Text, QStringLiteral("A")},
      {1234561, 3, PageKind::Text, Letters(40)},
      {1234562, 3, PageKind::Text, Letters(80)},
      {1234563, 0, PageKind::Numeric, QStringLiteral("0123456789 U-")},
      {1234564, 1, PageKind::Tone, {}},
      {1234565, 2, PageKind::Text, QStringLiteral("frame 5")},
      {1234566, 0, PageKind::Numeric, QStringLiteral("12345")},
  };
  for (int baud : kBaudRates) {
    for (const Page& page : cases) {
      SCOPED_TRACE(testing::Message() << baud << " baud, " << Described(page));
      const std::vector<int16_t> audio = DiscriminatorAudio(TransmissionBits(Codewords(page)), baud);
      const QString wav = dir.filePath(QStringLiteral("page.wav"));
      QFile file(wav);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(WavFile(audio));
      file.close();
      const std::optional<std::vector<HeardPage>> theirs = MultimonPages(wav, page.kind);
      if (!theirs) GTEST_SKIP() << "multimon-ng or sox is not installed (Debian packages multimon-ng, sox)";
      // A text of no characters is an address alone: on the air, a tone-only page.
      Page sent = page;
      if (sent.message.isEmpty()) sent.kind = PageKind::Tone;
      const std::vector<HeardPage> ours = DecodeAudio(audio);
      ASSERT_EQ(theirs->size(), 1u);
      ASSERT_EQ(ours.size(), 1u);
      EXPECT_EQ(theirs->front().page, sent) << Described(theirs->front().page);
      EXPECT_EQ(theirs->front().baud, baud);
      EXPECT_EQ(ours.front().page, sent) << Described(ours.front().page);
    }
  }
}
