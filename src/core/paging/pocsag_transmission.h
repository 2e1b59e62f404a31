#pragma once
// A transmission as the paging transmitter sends it: the preamble, then batches of a sync codeword
// and eight frames of two codewords, each address in its capcode's frame, its message codewords
// after it, idle codewords wherever nothing is to be said. As codewords, as bits, and as the
// audio an FM receiver's discriminator gives.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/paging/pocsag_page.h"
#include "core/result.h"

namespace m84::pocsag {

constexpr int kSampleRate = 22050;
constexpr int kBaudRates[] = {512, 1200, 2400};
bool IsBaudRate(int baud);

// Every codeword after the preamble: sync codewords included, batch by batch.
Result<std::vector<uint32_t>> TransmissionCodewords(const std::vector<Page>& pages);

// The bits on the air, first sent first: the preamble (1010...), then the codewords.
std::vector<uint8_t> TransmissionBits(const std::vector<uint32_t>& codewords);

// The codewords one a line in hex ("7CD215D8"); the bits as '0' and '1', 32 a line after the
// preamble's own line.
QByteArray CodewordListText(const std::vector<uint32_t>& codewords);
QByteArray BitsText(const std::vector<uint8_t>& bits);

// The forms a transmission is written in, told by the file's extension: .txt the codewords, .bits
// the bits, .wav the audio.
enum class TransmissionForm { Codewords, Bits, Audio };
std::optional<TransmissionForm> TransmissionFormOf(const QString& path);
QByteArray TransmissionFile(const std::vector<uint32_t>& codewords, TransmissionForm form, int baud);

// The discriminator's output at kSampleRate for the bits at baud: NRZ levels, with a short quiet
// before and after, as a receiver's squelch opens and closes. The rate need not be whole: a
// transmitter's clock may be off.
std::vector<int16_t> DiscriminatorAudio(const std::vector<uint8_t>& bits, double baud);

// A RIFF WAVE file: 16-bit PCM, mono, kSampleRate.
QByteArray WavFile(const std::vector<int16_t>& samples);

// Where the samples of a RIFF WAVE file begin and how many bytes they take, once its header is
// read; why it is not one we read (16-bit PCM, mono, kSampleRate) otherwise.
struct WavLayout {
  qint64 dataOffset = 0;
  qint64 dataBytes = 0;
};
Result<WavLayout> ReadWavHeader(const QByteArray& head);

}  // namespace m84::pocsag
