#include "core/image/pager_image.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace m84 {

namespace {

void PutBytes(uint8_t* image, int offset, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) image[offset++] = b;
}

void Fill(uint8_t* image, int from, int to, uint8_t value) {
  std::memset(image + from, value, static_cast<size_t>(to - from + 1));
}

// A text in its slot; the rest of the slot stays as the caller filled it (zero bytes).
void PutText(uint8_t* image, int offset, const char* text) { std::memcpy(image + offset, text, std::strlen(text)); }

void PutTextRun(uint8_t* image, int offset, int stride, int count, const char* format, int first) {
  char text[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, format, first + i);
    PutText(image, offset + i * stride, text);
  }
}

void WriteDefaults(uint8_t* image) {
  std::memset(image, 0, kImageSize);
  PutBytes(image, 0x000, {0x5A, 0xC3});
  for (int row = 0; row < 8; ++row) {
    // capcodes 1234567 to 1234574, both flags clear (enabled, private)
    const int low = 67 + row;
    PutBytes(image, 0x002 + 4 * row, {0x01, 0x23, 0x45, static_cast<uint8_t>((low / 10) * 16 + low % 10)});
  }
  Fill(image, 0x022, 0x041, 0x01);
  PutBytes(image, 0x042, {0x04, 0x57, 0x57, 0x50, 0x00, 0x40, 0x27, 0x44, 0x11, 0x00, 0x02, 0x18, 0xC0,
                          0x89, 0x46, 0x01, 0x00, 0x50, 0xC3, 0x00, 0xF5, 0x08, 0x51, 0x08, 0xAE, 0x07});
  PutText(image, 0x05C, "9462");  // hand programming password
  PutText(image, 0x061, "7391");  // message reading password
  PutBytes(image, 0x066, {0x0F, 0x0D, 0x00, 0x0F, 0x26, 0x20, 0x78, 0x00, 0xFF, 0xFF, 0x02, 0x08, 0x08, 0x1D,
                          0x13, 0x11, 0x1F, 0x0F, 0x10, 0x11, 0x12, 0x00, 0x22, 0xFE, 0xAF, 0xF0, 0x3C, 0x7B,
                          0x06, 0x83, 0x60, 0xC0, 0x0F, 0x05, 0x00, 0x00, 0xCE, 0x02, 0x00, 0x00, 0x00, 0x00});
  PutBytes(image, 0x090, {0x5A, 0xC3});
  const char* const kOtaCommands[9] = {"382950417", "604718253", "815063", "RTVRTV", "WXZWXZ",
                                       "QYPQYP",    "HBNHBN",    "930572", "147286"};
  for (int i = 0; i < 9; ++i) PutText(image, 0x092 + 10 * i, kOtaCommands[i]);
  for (int i = 0; i < 8; ++i) PutBytes(image, 0x0EC + 4 * i, {0x01, 0x02, 0x03, 0x04});
  Fill(image, 0x10C, 0x12B, 0x07);
  PutBytes(image, 0x12C, {0xFF, 0x01, 0x00, 0x08, 0xFE, 0x01, 0x00, 0x08, 0xBE, 0x01, 0x00, 0x08, 0xA8, 0x01, 0x00,
                          0x08, 0xAA, 0x01, 0x01, 0x08, 0xFF, 0x01, 0x01, 0x08, 0xFF, 0x01, 0x00, 0x0C, 0xFF, 0x03,
                          0x01, 0x0B, 0xFF, 0x02, 0x01, 0x0B, 0xFF, 0x01, 0x01, 0x0B, 0xFF, 0x01, 0x01, 0x0B, 0xFF,
                          0x02, 0x02, 0x06, 0xFF, 0x03, 0x02, 0x0D, 0xFF, 0x02, 0x01, 0x0B, 0xF0, 0x01, 0x00, 0x08,
                          0xFF, 0x01, 0x01, 0x08, 0xFF, 0x01, 0x00, 0x08, 0xFF, 0x01, 0x00, 0x08});
  PutTextRun(image, 0x174, 7, 8, "CAP -%d", 1);
  for (int i = 0; i < 4; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "BEEP-%c", 'A' + i);
    PutText(image, 0x174 + 7 * (8 + i), text);
    char tone[16];
    std::snprintf(tone, sizeof tone, "Tone Only -%c", 'A' + i);
    PutText(image, 0x1C8 + 13 * i, tone);
  }
  PutTextRun(image, 0x1FC, 32, 20, "M82 CANNED MESSAGE ADDRESS -%02d", 1);
  PutTextRun(image, 0x47C, 13, 12, "PubHolder %02d", 1);
  PutText(image, 0x518, "Welcome to M84");
  PutText(image, 0x528, "DR. Nora Clifts");
  PutText(image, 0x538, "Welcome to M84");
  PutText(image, 0x548, "1234567890");
  Fill(image, 0x554, 0x7FF, 0xFF);
}

}  // namespace

PagerImage::PagerImage() { WriteDefaults(bytes_.data()); }

SelectionState::SelectionState() {
  bytes_.fill(0);
  for (int row = 0; row < 8; ++row) bytes_[static_cast<size_t>(row)] = kAutoIncrementDefault;
  bytes_[kKeepSerialByte] = 1;
}

uint8_t XorSum(const uint8_t* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum ^= bytes[i];
  return sum;
}

}  // namespace m84
