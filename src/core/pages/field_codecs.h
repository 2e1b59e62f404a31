#pragma once
// The codecs every page uses to read and write its fields of the image, and the edit check.

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "core/image/pager_image.h"

namespace m84 {

void SetFlagBit(uint8_t& byte, uint8_t mask, bool value);
bool GetFlagBit(uint8_t byte, uint8_t mask);
// Several of the pager's switches are "on" when their bit is clear.
void SetFlagBitInverted(uint8_t& byte, uint8_t mask, bool value);
bool GetFlagBitInverted(uint8_t byte, uint8_t mask);

// Packed BCD, most significant byte first. Nibbles above 9 are not rejected.
uint32_t ReadBcd(const PagerImage& image, int offset, int n);
// Digits beyond 2n are dropped.
void WriteBcd(uint32_t value, PagerImage& image, int offset, int n);
uint32_t ReadLittleEndian(const PagerImage& image, int offset, int n);
int BcdByteToInt(uint8_t b);
uint8_t IntToBcdByte(int v);

// Texts in the image are one byte per character: the character's Latin-1 code. A text with a
// character outside Latin-1 has no bytes; the result names its first such character instead
// (a surrogate pair whole, so an emoji is named as typed).
struct PagerTextBytes {
  QByteArray bytes;
  QString unencodable;  // empty when every character has its byte
  explicit operator bool() const { return unencodable.isEmpty(); }
};
PagerTextBytes EncodePagerText(const QString& text);
// The first character of text that the pager cannot hold, or an empty text when it holds them all.
QString FirstUnencodableCharacter(const QString& text);

// The text writers below leave their field as it was for a text with no bytes: the pages refuse
// such texts as they are typed or pasted, so one reaching a store has come round the controls.

// Trailing ASCII white space removed (blank, tab, CR, LF, VT, FF). Bytes such as 0xA0 and 0x85
// are characters of the pager's own sets and stay.
QString WithoutTrailingWhiteSpace(QString text);
// The bytes up to the first zero byte, trailing white space removed.
QString ReadFixedText(const PagerImage& image, int offset, int n);
// Pads the page's own text with blanks to n characters (the value keeps them), writes n bytes.
void WriteFixedText(QString& text, PagerImage& image, int offset, int n);
QString ReadZeroPaddedText(const PagerImage& image, int offset, int n);
// The first n characters of the text, then zero bytes up to the tenth byte of the field.
void WriteZeroPaddedText(const QString& text, PagerImage& image, int offset, int n);
// The first n characters of the text, then zero bytes up to the n-th byte of the field; bytes
// past n are never written. The text then loses its trailing blanks, which the image keeps.
void WriteZeroFilledText(QString& text, PagerImage& image, int offset, int n);

// The check run when a number edit loses the focus.
bool CheckDecimalRange(const QString& text, uint32_t lo, uint32_t hi);

QString FlagLetter(bool value);
QString YesNoText(bool value);
QString EnableText(bool value);
QString OnOffText(bool value);

}  // namespace m84
