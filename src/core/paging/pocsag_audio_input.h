#pragma once
// A discriminator's audio from a file or a stream into a decoder: a RIFF WAVE file is known by its
// header; anything else is raw samples, signed 16-bit little-endian, mono, at kSampleRate, as
// rtl_fm writes them.

#include "core/paging/pocsag_decoder.h"
#include "core/result.h"

namespace m84::pocsag {

// Reads fd to its end (a pipe blocks for more), feeding the decoder as the samples come, and
// finishes it. A failure says why the audio could not be read (a WAVE file of another format, a
// read error); the pages heard until then have been given.
Outcome ListenTo(int fd, PocsagDecoder& decoder);

}  // namespace m84::pocsag
