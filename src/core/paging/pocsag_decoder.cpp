#include "core/paging/pocsag_decoder.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/paging/pocsag_codeword.h"
#include "core/paging/pocsag_transmission.h"

namespace m84::pocsag {

namespace {

// The bit clock: each transition pulls the phase towards a bit boundary by this share of its
// error, and the rate by a much smaller one, so that a transmitter's clock off by a per cent or
// two is followed through runs of equal bits.
constexpr double kPhaseGain = 0.18;
constexpr double kRateGain = 0.004;
constexpr double kLargestRateError = 0.03;
// The level's middle follows slow drift (a receiver tuned off the channel) over about this long.
constexpr double kLevelSeconds = 0.25;

// A sync codeword is taken with up to this many wrong bits when searched for, and with more where
// it is expected after a batch.
constexpr int kSyncSearchErrors = 2;
constexpr int kSyncExpectedErrors = 5;
// A batch with more codewords than this beyond correction is noise that looked like a sync
// codeword: random words lie within two bits of some codeword a quarter of the time.
constexpr int kUnreadableCodewordsPerBatch = 3;
// After a lost sync, a page being heard waits this many bits for the sync to be found again
// (a clock that slipped a bit) before it is given as heard.
constexpr int kResyncBits = 64;

struct ReceivedCodeword {
  std::optional<CorrectedCodeword> corrected;
  int64_t endSample = 0;
};

// A page while its codewords come in.
struct PageInProgress {
  HeardPage heard;
  std::vector<uint32_t> contents;
};

}  // namespace

class PocsagDecoder::Channel {
 public:
  Channel(int baud, const Listener& heard, MessageReading reading)
      : baud_(baud),
        nominalStep_(double(baud) / kSampleRate),
        step_(nominalStep_),
        levelWeight_(1.0 / (kLevelSeconds * kSampleRate)),
        smoothWeight_(1.0 - std::exp(-2.0 * M_PI * baud / kSampleRate)),
        heard_(heard),
        reading_(reading) {}

  void Sample(int16_t raw, int64_t index) {
    level_ += (raw - level_) * levelWeight_;
    smooth_ += ((raw - level_) - smooth_) * smoothWeight_;
    const double x = smooth_;
    if ((x > 0) != (previous_ > 0)) FollowTransition(x);
    previous_ = x;
    // Integrate and dump: the whole bit's samples decide it, not one sample a noise spike may hit.
    sum_ += x;
    phase_ += step_;
    if (phase_ < 1.0) return;
    phase_ -= 1.0;
    Bit(sum_ > 0 ? 0 : 1, index);
    sum_ = 0;
  }

  void Finish() { EndPage(true); }

 private:
  // The signal crossed its middle between the previous sample and this one: that is where a bit
  // boundary lies, so the phase there should be 0 (or 1). The phase is left unwrapped: a bit cut
  // short by a correction would be a bit too many.
  void FollowTransition(double x) {
    const double fraction = previous_ / (previous_ - x);
    double error = phase_ + fraction * step_;
    if (error >= 0.5) error -= 1.0;
    if (error < -0.5) error += 1.0;
    phase_ -= kPhaseGain * error;
    step_ -= kRateGain * error * nominalStep_;
    step_ = std::clamp(step_, nominalStep_ * (1 - kLargestRateError), nominalStep_ * (1 + kLargestRateError));
  }

  void Bit(uint32_t bit, int64_t index) {
    shift_ = (shift_ << 1) | bit;
    ++bitsInWord_;
    if (!synced_) {
      if (resyncBitsLeft_ > 0 && --resyncBitsLeft_ == 0) EndPage(true);
      if (BitDistance(shift_, kSyncCodeword) <= kSyncSearchErrors)
        StartBatch(false);
      else if (BitDistance(~shift_, kSyncCodeword) <= kSyncSearchErrors)
        StartBatch(true);
      return;
    }
    if (bitsInWord_ < kCodewordBits) return;
    bitsInWord_ = 0;
    const uint32_t word = inverted_ ? ~shift_ : shift_;
    // Where the batch's sixteen codewords are in, the next sync codeword is due.
    if (batch_.size() == kCodewordsPerBatch) {
      if (BitDistance(word, kSyncCodeword) <= kSyncExpectedErrors)
        batch_.clear();
      else
        LoseSync();
      return;
    }
    batch_.push_back({CorrectCodeword(word), index});
    if (batch_.size() == kCodewordsPerBatch) ReadBatch();
  }

  void StartBatch(bool inverted) {
    synced_ = true;
    inverted_ = inverted;
    bitsInWord_ = 0;
    batch_.clear();
    resyncBitsLeft_ = 0;
  }

  void LoseSync() {
    synced_ = false;
    batch_.clear();
    if (page_) resyncBitsLeft_ = kResyncBits;
  }

  void ReadBatch() {
    const auto unreadable =
        std::count_if(batch_.begin(), batch_.end(), [](const ReceivedCodeword& c) { return !c.corrected.has_value(); });
    if (unreadable > kUnreadableCodewordsPerBatch) {
      EndPage(true);
      return;
    }
    for (size_t slot = 0; slot < batch_.size(); ++slot) Read(batch_[slot], static_cast<int>(slot));
  }

  void Read(const ReceivedCodeword& received, int slot) {
    if (!received.corrected) {
      EndPage(true);
      return;
    }
    const uint32_t codeword = received.corrected->codeword;
    if (codeword == kIdleCodeword) {
      EndPage(false);
      return;
    }
    if (!IsMessage(codeword)) {
      EndPage(false);
      page_.emplace();
      HeardPage& heard = page_->heard;
      heard.seconds = double(received.endSample) / kSampleRate;
      heard.baud = baud_;
      heard.page.capcode = (AddressBits(codeword) << 3) | static_cast<uint32_t>(slot / kCodewordsPerFrame);
      heard.page.function = FunctionBits(codeword);
      heard.correctedBits = received.corrected->errors;
      return;
    }
    // A message codeword with no address before it belongs to a page begun before we listened.
    if (!page_) return;
    page_->contents.push_back(ContentBits(codeword));
    page_->heard.correctedBits += received.corrected->errors;
  }

  void EndPage(bool cutShort) {
    resyncBitsLeft_ = 0;
    if (!page_) return;
    HeardPage heard = std::move(page_->heard);
    const std::vector<uint32_t> contents = std::move(page_->contents);
    page_.reset();
    heard.cutShort = cutShort;
    Page& page = heard.page;
    const bool numeric = reading_ == MessageReading::Numeric || (reading_ == MessageReading::ByFunction &&
                                                                 page.function == DefaultFunction(PageKind::Numeric));
    if (contents.empty()) {
      page.kind = PageKind::Tone;
    } else if (numeric) {
      page.kind = PageKind::Numeric;
      page.message = NumericMessage(contents);
    } else {
      page.kind = PageKind::Text;
      page.message = TextMessage(contents);
    }
    heard_(heard);
  }

  const int baud_;
  const double nominalStep_;
  double step_;
  const double levelWeight_;
  // A low pass at the bit rate, so that noise does not cross the middle between transitions.
  const double smoothWeight_;
  const Listener& heard_;
  const MessageReading reading_;

  double level_ = 0;
  double smooth_ = 0;
  double previous_ = 0;
  double sum_ = 0;
  double phase_ = 0;
  uint32_t shift_ = 0;
  int bitsInWord_ = 0;
  bool synced_ = false;
  bool inverted_ = false;
  int resyncBitsLeft_ = 0;
  std::vector<ReceivedCodeword> batch_;
  std::optional<PageInProgress> page_;
};

PocsagDecoder::PocsagDecoder(Listener heard, MessageReading reading) {
  listener_ = std::move(heard);
  for (int baud : kBaudRates) channels_.push_back(std::make_unique<Channel>(baud, listener_, reading));
}

PocsagDecoder::~PocsagDecoder() = default;

void PocsagDecoder::Feed(const int16_t* samples, size_t count) {
  for (const auto& channel : channels_)
    for (size_t i = 0; i < count; ++i) channel->Sample(samples[i], sample_ + int64_t(i));
  sample_ += int64_t(count);
}

void PocsagDecoder::Finish() {
  for (const auto& channel : channels_) channel->Finish();
}

QString HeardPageLine(const HeardPage& heard) {
  const auto milliseconds = static_cast<qint64>(heard.seconds * 1000.0 + 0.5);
  const QString time = QStringLiteral("%1:%2:%3.%4")
                           .arg(milliseconds / 3600000, 2, 10, QLatin1Char('0'))
                           .arg(milliseconds / 60000 % 60, 2, 10, QLatin1Char('0'))
                           .arg(milliseconds / 1000 % 60, 2, 10, QLatin1Char('0'))
                           .arg(milliseconds % 1000, 3, 10, QLatin1Char('0'));
  const Page& page = heard.page;
  QString line = QStringLiteral("%1  %2 baud  capcode %3  function %4  ")
                     .arg(time)
                     .arg(heard.baud)
                     .arg(page.capcode)
                     .arg(FunctionLetter(page.function));
  switch (page.kind) {
    case PageKind::Tone: line += QStringLiteral("tone only"); break;
    case PageKind::Numeric: line += QStringLiteral("numeric: ") + page.message; break;
    case PageKind::Text: line += QStringLiteral("text: ") + page.message; break;
  }
  if (heard.cutShort) line += QStringLiteral("  (cut short)");
  return line;
}

std::vector<HeardPage> DecodeAudio(const std::vector<int16_t>& samples, MessageReading reading) {
  std::vector<HeardPage> pages;
  PocsagDecoder decoder([&](const HeardPage& page) { pages.push_back(page); }, reading);
  decoder.Feed(samples.data(), samples.size());
  decoder.Finish();
  std::stable_sort(pages.begin(), pages.end(),
                   [](const HeardPage& a, const HeardPage& b) { return a.seconds < b.seconds; });
  return pages;
}

}  // namespace m84::pocsag
