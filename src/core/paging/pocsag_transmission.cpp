#include "core/paging/pocsag_transmission.h"

#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cmath>

#include "core/paging/pocsag_codeword.h"

namespace m84::pocsag {

namespace {

// Under full scale, as a discriminator's output sits in a sound card's range.
constexpr int16_t kLevel = 12000;
// The receiver's squelch opening before the preamble, and closing after the last batch.
constexpr double kQuietSeconds = 0.05;

// POCSAG sends a binary 1 as the lower frequency, which the discriminator gives as the lower
// voltage: a 1 is the negative level. multimon-ng reads it so without its -i switch, which is
// there for receivers that give the opposite.
int16_t LevelOf(uint8_t bit) { return bit ? -kLevel : kLevel; }

// Appends codewords to the batch being filled, a sync codeword at the head of every batch.
class BatchWriter {
 public:
  void Put(uint32_t codeword) {
    if (slot_ % kCodewordsPerBatch == 0) codewords_.push_back(kSyncCodeword);
    codewords_.push_back(codeword);
    ++slot_;
  }
  int Frame() const { return (slot_ % kCodewordsPerBatch) / kCodewordsPerFrame; }
  bool AtBatchStart() const { return slot_ % kCodewordsPerBatch == 0; }
  std::vector<uint32_t> Take() { return std::move(codewords_); }

 private:
  std::vector<uint32_t> codewords_;
  int slot_ = 0;
};

void PutLittleEndian32(QByteArray& bytes, quint32 value) {
  char raw[4];
  qToLittleEndian(value, raw);
  bytes.append(raw, 4);
}

void PutLittleEndian16(QByteArray& bytes, quint16 value) {
  char raw[2];
  qToLittleEndian(value, raw);
  bytes.append(raw, 2);
}

constexpr int kBitsPerSample = 16;
constexpr int kWavHeaderBytes = 44;

Failure NotOurWav(const QString& reason) { return Failed(QStringLiteral("Audio not read"), reason); }

}  // namespace

bool IsBaudRate(int baud) {
  return std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates);
}

Result<std::vector<uint32_t>> TransmissionCodewords(const std::vector<Page>& pages) {
  BatchWriter batches;
  for (const Page& page : pages) {
    const Result<std::vector<uint32_t>> contents = MessageContents(page);
    if (!contents) return contents.failure();
    const uint32_t address = AddressCodeword(page.capcode, page.function);
    // A pager whose address codeword is the idle codeword would take every idle for its page.
    if (address == kIdleCodeword)
      return Failed(QStringLiteral("Page not made"), QStringLiteral("capcode %1 with function %2 is the idle codeword")
                                                         .arg(page.capcode)
                                                         .arg(FunctionLetter(page.function)));
    // The pager wakes only in its own frame.
    while (batches.Frame() != FrameOf(page.capcode)) batches.Put(kIdleCodeword);
    batches.Put(address);
    for (uint32_t content : *contents) batches.Put(MessageCodeword(content));
  }
  // An idle codeword ends the last message; the batch is filled out with them.
  batches.Put(kIdleCodeword);
  while (!batches.AtBatchStart()) batches.Put(kIdleCodeword);
  return batches.Take();
}

std::vector<uint8_t> TransmissionBits(const std::vector<uint32_t>& codewords) {
  std::vector<uint8_t> bits;
  bits.reserve(kPreambleBits + codewords.size() * kCodewordBits);
  for (int i = 0; i < kPreambleBits; ++i) bits.push_back((i + 1) % 2);
  for (uint32_t codeword : codewords)
    for (int i = kCodewordBits - 1; i >= 0; --i) bits.push_back((codeword >> i) & 1u);
  return bits;
}

QByteArray CodewordListText(const std::vector<uint32_t>& codewords) {
  QByteArray text;
  for (uint32_t codeword : codewords) text += QByteArray::number(codeword, 16).toUpper().rightJustified(8, '0') + '\n';
  return text;
}

QByteArray BitsText(const std::vector<uint8_t>& bits) {
  QByteArray text;
  for (size_t i = 0; i < bits.size(); ++i) {
    text += bits[i] ? '1' : '0';
    const bool preambleEnds = i + 1 == kPreambleBits;
    const bool codewordEnds = i + 1 > kPreambleBits && (i + 1 - kPreambleBits) % kCodewordBits == 0;
    if (preambleEnds || codewordEnds || i + 1 == bits.size()) text += '\n';
  }
  return text;
}

std::optional<TransmissionForm> TransmissionFormOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("txt")) return TransmissionForm::Codewords;
  if (suffix == QLatin1String("bits")) return TransmissionForm::Bits;
  if (suffix == QLatin1String("wav")) return TransmissionForm::Audio;
  return std::nullopt;
}

QByteArray TransmissionFile(const std::vector<uint32_t>& codewords, TransmissionForm form, int baud) {
  switch (form) {
    case TransmissionForm::Codewords: return CodewordListText(codewords);
    case TransmissionForm::Bits: return BitsText(TransmissionBits(codewords));
    case TransmissionForm::Audio: break;
  }
  return WavFile(DiscriminatorAudio(TransmissionBits(codewords), baud));
}

std::vector<int16_t> DiscriminatorAudio(const std::vector<uint8_t>& bits, double baud) {
  const auto quiet = static_cast<size_t>(kQuietSeconds * kSampleRate);
  // Bit i lasts from sample i * rate / baud to the next: a bit is 43.07, 18.375 or 9.1875 samples.
  const auto signal = static_cast<size_t>(std::ceil(double(bits.size()) * kSampleRate / baud));
  std::vector<int16_t> samples(quiet, 0);
  samples.reserve(2 * quiet + signal);
  for (size_t i = 0; i < signal; ++i) {
    const size_t bit = std::min(bits.size() - 1, static_cast<size_t>(double(i) * baud / kSampleRate));
    samples.push_back(LevelOf(bits[bit]));
  }
  samples.insert(samples.end(), quiet, 0);
  return samples;
}

QByteArray WavFile(const std::vector<int16_t>& samples) {
  const auto dataBytes = static_cast<quint32>(samples.size() * sizeof(int16_t));
  QByteArray file;
  file.reserve(kWavHeaderBytes + int(dataBytes));
  file += "RIFF";
  PutLittleEndian32(file, 36 + dataBytes);
  file += "WAVEfmt ";
  PutLittleEndian32(file, 16);
  PutLittleEndian16(file, 1);  // PCM
  PutLittleEndian16(file, 1);  // mono
  PutLittleEndian32(file, kSampleRate);
  PutLittleEndian32(file, kSampleRate * kBitsPerSample / 8);
  PutLittleEndian16(file, kBitsPerSample / 8);
  PutLittleEndian16(file, kBitsPerSample);
  file += "data";
  PutLittleEndian32(file, dataBytes);
  for (int16_t sample : samples) PutLittleEndian16(file, static_cast<quint16>(sample));
  return file;
}

Result<WavLayout> ReadWavHeader(const QByteArray& head) {
  if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
    return NotOurWav(QStringLiteral("not a RIFF WAVE file"));
  bool formatSeen = false;
  qint64 at = 12;
  while (at + 8 <= head.size()) {
    const QByteArray id = head.mid(at, 4);
    const quint32 size = qFromLittleEndian<quint32>(head.constData() + at + 4);
    const qint64 body = at + 8;
    if (id == "fmt ") {
      if (size < 16 || body + 16 > head.size()) return NotOurWav(QStringLiteral("its format chunk is cut short"));
      const auto word = [&](int offset) { return qFromLittleEndian<quint16>(head.constData() + body + offset); };
      const quint32 rate = qFromLittleEndian<quint32>(head.constData() + body + 4);
      if (word(0) != 1 || word(2) != 1 || word(14) != kBitsPerSample || rate != quint32(kSampleRate))
        return NotOurWav(QStringLiteral("%1 Hz, %2 channels, %3-bit (format %4); this reads 16-bit PCM, mono, %5 Hz")
                             .arg(rate)
                             .arg(word(2))
                             .arg(word(14))
                             .arg(word(0))
                             .arg(kSampleRate));
      formatSeen = true;
    } else if (id == "data") {
      if (!formatSeen) return NotOurWav(QStringLiteral("its samples come before their format"));
      return WavLayout{body, size};
    }
    at = body + size + (size & 1);
  }
  return NotOurWav(QStringLiteral("no samples found in its first %1 bytes").arg(head.size()));
}

}  // namespace m84::pocsag
