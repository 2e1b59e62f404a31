#include "core/pages/general_page.h"

#include "core/image/band_table.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace general_key;

constexpr int kFrequencyDigitPositions[] = {0, 1, 2, 4, 5, 6, 7};
constexpr uint32_t kMegahertzSteps = 10000;  // 100 Hz steps in 1 MHz
constexpr uint32_t kHzPerStep = 100;

// Channel rasters, tried in this order when choosing the synthesizer step.
constexpr uint32_t kRaster3125Hz = 3125;
constexpr uint32_t kRaster2500HzSteps = 25;
constexpr uint32_t kRaster2000HzSteps = 20;
constexpr uint32_t kSynthesizerSteps[] = {6250, 2500, 2000};  // Hz after the band divider

// 5170: N x 128 + 64 and R x 256 + 0x11, format 24. 8108: N x 16 and R x 16 + 1, format 19.
constexpr uint32_t k5170ReferencePrescaler = 4;
constexpr uint8_t k5170Format = 24;
constexpr uint32_t k8108ReferencePrescaler = 8;
constexpr uint8_t k8108Format = 19;
constexpr int kSynthesizerWordSize = 3;
constexpr int kFormatByte = 6;

const std::vector<uint8_t> kBaudRateBits = {0x00, 0x01, 0x02};
const std::vector<uint8_t> kPolarityBits = {0x00, kPolarityBit};
const std::vector<uint8_t> kPllDeviceBits = {0x00, kPllDeviceBit};

const QString kCapcodeGroup = QStringLiteral("capcodes");

// Three bytes, least significant first; bits above 23 are dropped.
void PutWord(SynthesizerBlock& block, int at, uint32_t word) {
  for (int i = 0; i < kSynthesizerWordSize; ++i) block[size_t(at + i)] = static_cast<uint8_t>(word >> (8 * i));
}

// A capcode row's line, under the section's column header.
std::function<QStringList(const PageValues&)> CapcodeLine(int row) {
  return [row](const PageValues& values) {
    return QStringList{QString::asprintf(
        "   %d       %s      %s    %07d    %d", row + 1, qPrintable(FlagLetter(values.Flag(capcode_key::Private(row)))),
        qPrintable(OnOffText(values.Flag(capcode_key::Enable(row)))), values.Number(capcode_key::Capcode(row)),
        values.Number(capcode_key::Frame(row)))};
  };
}

// The band is no setting of its own: it follows the frequency.
QStringList FrequencyLine(const PageValues& values) {
  return {QStringLiteral("Frequency: %1MHz, Band: %2 MHz").arg(values.Text(kFrequency), values.Text(kBand))};
}

// The capcode table heads the report; serial number and frequency come before the receiver's lists.
QStringList ReportOrder() {
  QStringList keys;
  for (int row = 0; row < kCapcodeRowCount; ++row) keys << capcode_key::Capcode(row);
  return keys << kSerial << kFrequency;
}

}  // namespace

const QStringList kBaudRateEntries = {QStringLiteral("  512bps"), QStringLiteral("1200bps"), QStringLiteral("2400bps")};
const QStringList kPolarityEntries = {QStringLiteral("Standard"), QStringLiteral("Negative")};

const QString kInvalidBandText = QStringLiteral("Invalid Value");
const QString kFrequencyErrorMessage = QStringLiteral("Input frequency error (3.125k/2.5k/2.0k)");
const QString kBumpTimeMessage = QStringLiteral("Bump time must be in range 1 to 63");
const QString kBsTimeMessage = QStringLiteral("BS time must be in range 1 to 63");
const QString kSerialHint = QStringLiteral("Enter up to 10 digits");
const QString kFrequencyTip = QStringLiteral("(135-175,276-284,406-414,429-437,439-470,929-932)MHz");

std::optional<uint32_t> ReadFrequencyText(const QString& text, BlankDigit blank) {
  if (text.size() < kFrequencyTextLength) return std::nullopt;
  uint32_t f = 0;
  for (int position : kFrequencyDigitPositions) {
    const QChar c = text[position];
    uint32_t digit = 0;
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
      digit = uint32_t(c.unicode() - '0');
    else if (!(c == QLatin1Char(' ') && blank == BlankDigit::Zero))
      return std::nullopt;
    f = f * 10 + digit;
  }
  return f;
}

QString FrequencyText(uint32_t f) {
  return QString::asprintf("%3lu.%04lu", static_cast<unsigned long>(f / kMegahertzSteps),
                           static_cast<unsigned long>(f % kMegahertzSteps));
}

bool IsOnChannelRaster(uint32_t f) {
  return uint64_t(f) * kHzPerStep % kRaster3125Hz == 0 || f % kRaster2500HzSteps == 0 || f % kRaster2000HzSteps == 0;
}

QString LiveBandText(const QString& text) {
  const std::optional<uint32_t> f = ReadFrequencyText(text, BlankDigit::Invalid);
  if (!f || !IsOnChannelRaster(*f)) return kInvalidBandText;
  const std::optional<int> band = FindBand(*f);
  return band ? QString::fromLatin1(kFrequencyBandTable[*band].name) : kInvalidBandText;
}

std::optional<SynthesizerBlock> ComputeSynthesizerBlock(uint32_t f, uint32_t intermediateHz, uint32_t referenceHz,
                                                        PllDevice device) {
  const std::optional<int> band = FindBand(f);
  if (!band) return std::nullopt;
  // Unsigned 32-bit throughout, as the pager's own arithmetic.
  const uint32_t v = (f * kHzPerStep - intermediateHz) / kFrequencyBandTable[*band].divider;
  uint32_t step = kSynthesizerSteps[2];
  for (uint32_t candidate : kSynthesizerSteps) {
    if (v % candidate == 0) {
      step = candidate;
      break;
    }
  }
  const uint32_t n = v / step;
  SynthesizerBlock block{};
  if (device == PllDevice::Pll5170) {
    PutWord(block, 0, n * 128 + 64);
    PutWord(block, kSynthesizerWordSize, (referenceHz / k5170ReferencePrescaler) / step * 256 + 0x11);
    block[kFormatByte] = k5170Format;
  } else {
    // The 8108 words take the same places as the 5170 words.
    PutWord(block, 0, n * 16);
    PutWord(block, kSynthesizerWordSize, (referenceHz / k8108ReferencePrescaler) / step * 16 + 1);
    block[kFormatByte] = k8108Format;
  }
  return block;
}

BindingTable GeneralPageModel::Bindings() const {
  BindingTable table;
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::InvertedFlag(capcode_key::Private(row), CapcodeFieldOffset(row), kCapcodePrivateBit)
                        .Labelled(QStringLiteral("Private"))
                        .InRow(kCapcodeGroup, row, CapcodeRowLabel(row), QStringLiteral("private")));
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::InvertedFlag(capcode_key::Enable(row), CapcodeFieldOffset(row), kCapcodeEnableBit)
                        .Labelled(QStringLiteral("Enable"))
                        .InRow(kCapcodeGroup, row, CapcodeRowLabel(row), QStringLiteral("enable")));
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::Capcode(capcode_key::Capcode(row), row)
                        .Labelled(QStringLiteral("Capcode"))
                        .InRow(kCapcodeGroup, row, CapcodeRowLabel(row), QStringLiteral("capcode"))
                        .ReportedBy(CapcodeLine(row)));
  table.push_back(field::Byte(kBumpTime, kBumpTimeOffset)
                      .Labelled(QStringLiteral("Bump Time"))
                      .Within(kTimeMin, kTimeMax, kBumpTimeMessage));
  table.push_back(field::Byte(kBsTime, kBsTimeOffset)
                      .Labelled(QStringLiteral("BS Time"))
                      .Within(kTimeMin, kTimeMax, kBsTimeMessage));
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::SelectionIndex(capcode_key::Step(row), row, int(kAutoIncrementEntries.size()),
                                          SelectionState::kAutoIncrementDefault)
                        .Labelled(kAutoIncrementLabel)
                        .Entries(kAutoIncrementEntries)
                        .InRow(kCapcodeGroup, row, CapcodeRowLabel(row), QStringLiteral("auto_increment")));
  table.push_back(field::SelectionByte(kKeepSerial, SelectionState::kKeepSerialByte)
                      .Labelled(QStringLiteral("Don't write Serial Number (Keep existing)"))
                      .AsFlag());
  table.push_back(field::List(kBaudRate, kReceiverOptionsOffset, kBaudRateMask, kBaudRateBits)
                      .Labelled(QStringLiteral("BaudRate"))
                      .Entries(kBaudRateEntries)
                      .Reported(QStringLiteral("Baud Rate: %1"), Wording::Entry));
  table.push_back(field::List(kPolarity, kReceiverOptionsOffset, kPolarityBit, kPolarityBits)
                      .Labelled(QStringLiteral("POCSAG Polarity"))
                      .Entries(kPolarityEntries)
                      .Reported(QStringLiteral("POCSAG Polarity: %1"), Wording::Entry));
  table.push_back(field::List(kPllDevice, kReceiverOptionsOffset, kPllDeviceBit, kPllDeviceBits)
                      .Labelled(QStringLiteral("PLL Device"))
                      .Entries({QStringLiteral("5170"), QStringLiteral("8108")}));
  table.push_back(field::ZeroPaddedText(kSerial, kSerialOffset, kSerialSize)
                      .Labelled(QStringLiteral("Serial Number"))
                      .Accepting(IsSerialNumberText, kSerialHint)
                      .Hinted(kSerialHint)
                      .Reported(QStringLiteral("Serial Number: [%1]"), Wording::Text));
  table.push_back(field::Rule(kFrequency, SettingKind::Text)
                      .Labelled(QStringLiteral("Frequency"))
                      .AtMost(kFrequencyEditMaxLength)
                      .Accepting(IsAcceptedFrequencyText, kFrequencyErrorMessage)
                      .ReportedBy(FrequencyLine));
  return table;
}

void GeneralPageModel::LoadRules(const PagerData& data) {
  PageValues& values = Values();
  values.Set(kKeepSerial, values.Flag(kKeepSerial));
  RecomputeFrames(values);
  const uint32_t f = ReadBcd(data.image, kFrequencyOffset, kFrequencySize);
  values.Set(kFrequency, FrequencyText(f));
  // A frequency in no band leaves the band text as it was.
  if (const std::optional<int> band = FindBand(f))
    values.Set(kBand, QString::fromLatin1(kFrequencyBandTable[*band].name));
}

void GeneralPageModel::StoreRules(PagerData& data) {
  RecomputeFrames(Values());  // the capcode rows may have moved a capcode into range
  StoreFrequency(data);
}

// A text that is no valid frequency on the raster of a band has no synthesizer words: the image
// then keeps its frequency and synthesizer block rather than taking words for a band it is not in
// (or, off the raster, words that would tune the pager somewhere other than the digits shown).
// The variable then takes the image's frequency again, so the window and the report show what
// the image holds.
void GeneralPageModel::StoreFrequency(PagerData& data) {
  QString text = Values().Text(kFrequency);
  while (text.size() < kFrequencyTextLength) text.append(QLatin1Char('0'));
  Values().Set(kFrequency, text);
  const std::optional<uint32_t> f = ReadFrequencyText(text, BlankDigit::Zero);
  const PllDevice device =
      GetFlagBit(data.image[kReceiverOptionsOffset], kPllDeviceBit) ? PllDevice::Pll8108 : PllDevice::Pll5170;
  std::optional<SynthesizerBlock> block;
  if (f && IsOnChannelRaster(*f))
    block = ComputeSynthesizerBlock(*f, ReadLittleEndian(data.image, kIntermediateOffset, 4),
                                    ReadLittleEndian(data.image, kReferenceOffset, 4), device);
  if (!block) {
    Values().Set(kFrequency, FrequencyText(ReadBcd(data.image, kFrequencyOffset, kFrequencySize)));
    ShowFrequencyBand(Values());
    return;
  }
  WriteBcd(*f, data.image, kFrequencyOffset, kFrequencySize);
  for (int i = 0; i < kSynthesizerSize; ++i) data.image[kSynthesizerOffset + i] = (*block)[size_t(i)];
}

bool GeneralPageModel::KeepSerialNumber() const { return !Loaded() || Values().Flag(kKeepSerial); }

void GeneralPageModel::UpdateLiveBand() { m84::UpdateLiveBand(Values()); }

bool GeneralPageModel::CheckFrequency() {
  ShowFrequencyBand(Values());
  return IsAcceptedFrequencyText(Values().Text(kFrequency));
}

void GeneralPageModel::PadSerialNumber() { m84::PadSerialNumber(Values()); }

void UpdateLiveBand(PageValues& values) { values.Set(kBand, LiveBandText(values.Text(kFrequency))); }

bool IsAcceptedFrequencyText(const QString& text) {
  const std::optional<uint32_t> f = ReadFrequencyText(text, BlankDigit::Zero);
  return f && FindBand(*f) && IsOnChannelRaster(*f);
}

void ShowFrequencyBand(PageValues& values) {
  const std::optional<uint32_t> f = ReadFrequencyText(values.Text(kFrequency), BlankDigit::Zero);
  if (!f) return;
  if (const std::optional<int> band = FindBand(*f))
    values.Set(kBand, QString::fromLatin1(kFrequencyBandTable[*band].name));
}

bool IsSerialNumberText(const QString& text) { return text.size() <= kSerialSize && HoldsDigitsOnly(text); }

void PadSerialNumber(PageValues& values) {
  QString serial = values.Text(kSerial);
  while (serial.size() < kSerialSize) serial.append(QLatin1Char('0'));
  values.Set(kSerial, serial);
}

void GeneralPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[General]"));
  report.PrintLine(QStringLiteral("Number  Private  Enable  Capcode  Frame"));
  PrintRows(report, ReportOrder());
}

}  // namespace m84
