#pragma once
// Hears pages in a discriminator's audio: for each baud rate at once, a bit clock that follows
// the signal's transitions, a search for the sync codeword that tolerates wrong bits (and either
// polarity), BCH correction of up to two wrong bits a codeword, and pages put together from the
// address and message codewords of the batches.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/paging/pocsag_page.h"

namespace m84::pocsag {

// How a message is read: by its function (A digits, B to D text), as pagers are set up by
// default, or always one way.
enum class MessageReading { ByFunction, Numeric, Text };

struct HeardPage {
  double seconds = 0;  // from the start of the audio to the page's address codeword
  int baud = 0;
  Page page;
  // The page ended on a codeword that could not be put right or on a lost signal: the message
  // may be cut short.
  bool cutShort = false;
  int correctedBits = 0;  // over the page's codewords
};

class PocsagDecoder {
 public:
  using Listener = std::function<void(const HeardPage&)>;
  explicit PocsagDecoder(Listener heard, MessageReading reading = MessageReading::ByFunction);
  ~PocsagDecoder();
  PocsagDecoder(const PocsagDecoder&) = delete;
  PocsagDecoder& operator=(const PocsagDecoder&) = delete;

  // Samples at kSampleRate, in any number of pieces.
  void Feed(const int16_t* samples, size_t count);
  // The end of the audio: a page still being heard is given as it stands.
  void Finish();

 private:
  class Channel;
  Listener listener_;
  std::vector<std::unique_ptr<Channel>> channels_;
  int64_t sample_ = 0;
};

// One line for a page heard: "00:01:02.345  1200 baud  capcode 1234567  function D  text: Hello",
// "... function A  tone only"; "  (cut short)" after a message that may be.
QString HeardPageLine(const HeardPage& heard);

// Every page heard in the samples, in order of time.
std::vector<HeardPage> DecodeAudio(const std::vector<int16_t>& samples,
                                   MessageReading reading = MessageReading::ByFunction);

}  // namespace m84::pocsag
