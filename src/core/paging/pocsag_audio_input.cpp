#include "core/paging/pocsag_audio_input.h"

#include <QByteArray>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include <unistd.h>

#include "core/paging/pocsag_transmission.h"

namespace m84::pocsag {

namespace {

// A tenth of a second of audio at a time: a listener on a live receiver hears a page soon after
// its last batch.
constexpr size_t kChunkSamples = kSampleRate / 10;
// A WAVE header with its usual extra chunks fits in this many bytes.
constexpr qint64 kHeaderBytes = 4096;
// What a stream's writer puts as the size of samples it cannot know in advance.
constexpr quint32 kUnknownSize = std::numeric_limits<quint32>::max();

Failure ReadFailed(int error) {
  return Failed(QStringLiteral("Audio not read"), QString::fromLocal8Bit(std::strerror(error)));
}

// Up to count bytes; fewer only at the end of the input.
ssize_t ReadFully(int fd, char* into, size_t count) {
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::read(fd, into + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += size_t(n);
  }
  return ssize_t(got);
}

// Raw little-endian samples from bytes, a byte left over from an odd count kept for the next.
class SampleAssembler {
 public:
  void Feed(const char* bytes, size_t count, PocsagDecoder& decoder) {
    samples_.clear();
    size_t i = 0;
    if (pending_ && count > 0) {
      const char pair[2] = {*pending_, bytes[0]};
      samples_.push_back(qFromLittleEndian<qint16>(pair));
      pending_.reset();
      i = 1;
    }
    for (; i + 1 < count; i += 2) samples_.push_back(qFromLittleEndian<qint16>(bytes + i));
    if (i < count) pending_ = bytes[i];
    decoder.Feed(samples_.data(), samples_.size());
  }

 private:
  std::vector<int16_t> samples_;
  std::optional<char> pending_;
};

}  // namespace

Outcome ListenTo(int fd, PocsagDecoder& decoder) {
  QByteArray head(kHeaderBytes, '\0');
  const ssize_t headRead = ReadFully(fd, head.data(), size_t(head.size()));
  if (headRead < 0) return ReadFailed(errno);
  head.truncate(headRead);
  qint64 start = 0;
  qint64 left = std::numeric_limits<qint64>::max();
  if (head.startsWith("RIFF")) {
    const Result<WavLayout> layout = ReadWavHeader(head);
    if (!layout) return layout.failure();
    start = layout->dataOffset;
    if (layout->dataBytes != kUnknownSize && layout->dataBytes != 0) left = layout->dataBytes;
  }
  SampleAssembler assembler;
  const qint64 firstBytes = std::min<qint64>(head.size() - std::min<qint64>(start, head.size()), left);
  assembler.Feed(head.constData() + start, size_t(firstBytes), decoder);
  left -= firstBytes;
  std::vector<char> chunk(kChunkSamples * sizeof(int16_t));
  while (left > 0) {
    const ssize_t got = ::read(fd, chunk.data(), size_t(std::min<qint64>(qint64(chunk.size()), left)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      decoder.Finish();
      return ReadFailed(error);
    }
    if (got == 0) break;
    assembler.Feed(chunk.data(), size_t(got), decoder);
    left -= got;
  }
  decoder.Finish();
  return Succeeded();
}

}  // namespace m84::pocsag
