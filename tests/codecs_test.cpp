#include <gtest/gtest.h>

#include "core/image/pager_image.h"
#include "core/pages/field_binding.h"
#include "core/pages/field_codecs.h"

using namespace m84;

TEST(FlagBits, PlainAndInverted) {
  uint8_t b = 0xFF;
  SetFlagBitInverted(b, 0x40, true);
  EXPECT_EQ(b, 0xBF);
  EXPECT_TRUE(GetFlagBitInverted(b, 0x40));
  SetFlagBitInverted(b, 0x40, false);
  EXPECT_EQ(b, 0xFF);
  SetFlagBit(b, 0x81, false);
  EXPECT_EQ(b, 0x7E);
  EXPECT_FALSE(GetFlagBit(b, 0x01));
  EXPECT_TRUE(GetFlagBit(b, 0x02));
}

TEST(Bcd, ReadWriteAndBytes) {
  PagerImage image;
  WriteBcd(1234567, image, 0x100, 4);
  EXPECT_EQ(image[0x100], 0x01);
  EXPECT_EQ(image[0x101], 0x23);
  EXPECT_EQ(image[0x102], 0x45);
  EXPECT_EQ(image[0x103], 0x67);
  EXPECT_EQ(ReadBcd(image, 0x100, 4), 1234567u);
  WriteBcd(123456, image, 0x100, 2);  // digits beyond four are dropped
  EXPECT_EQ(ReadBcd(image, 0x100, 2), 3456u);
  image[0x100] = 0xAB;  // nibbles above 9 count with their value
  EXPECT_EQ(ReadBcd(image, 0x100, 1), 10u * 10 + 11);
  EXPECT_EQ(BcdByteToInt(0x59), 59);
  EXPECT_EQ(IntToBcdByte(59), 0x59);
  EXPECT_EQ(IntToBcdByte(256 + 12), 0x12);  // only the low 8 bits count
  image[0x4E] = 0xC0;
  image[0x4F] = 0x89;
  image[0x50] = 0x46;
  image[0x51] = 0x01;
  EXPECT_EQ(ReadLittleEndian(image, 0x4E, 4), 21400000u);
}

TEST(Texts, FixedAndZeroPadded) {
  PagerImage image;
  QString text = "AB";
  WriteFixedText(text, image, 0x200, 4);
  EXPECT_EQ(text, "AB  ");
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x200, 4), QByteArray("AB  "));
  EXPECT_EQ(ReadFixedText(image, 0x200, 4), "AB");
  image[0x202] = 0;
  EXPECT_EQ(ReadFixedText(image, 0x200, 4), "AB");
  QString longer = "ABCDEF";
  WriteFixedText(longer, image, 0x200, 4);
  EXPECT_EQ(ReadFixedText(image, 0x200, 4), "ABCD");
  EXPECT_EQ(longer, "ABCDEF");

  WriteZeroPaddedText("1234567", image, 0x548, 10);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x548, 11), QByteArray("1234567\0\0\0\0", 11));
  EXPECT_EQ(ReadZeroPaddedText(image, 0x548, 10), "1234567");
  WriteZeroPaddedText("123456789012", image, 0x548, 10);
  EXPECT_EQ(ReadZeroPaddedText(image, 0x548, 10), "1234567890");
}

// Only ASCII white space ends a text; 0xA0 and 0x85 are characters of the pager's sets.
TEST(Texts, TrailingWhiteSpaceIsAsciiOnly) {
  const std::pair<QByteArray, QString> cases[] = {
      {QByteArray("ab \t\r\n\v\f"), QStringLiteral("ab")},
      {QByteArray("ab\xA0"), QStringLiteral("ab") + QChar(0xA0)},
      {QByteArray("ab\x85"), QStringLiteral("ab") + QChar(0x85)},
      {QByteArray("ab\xA0 "), QStringLiteral("ab") + QChar(0xA0)},
  };
  for (const auto& [bytes, text] : cases) {
    SCOPED_TRACE(bytes.toHex().toStdString());
    PagerImage image;
    for (int i = 0; i < bytes.size(); ++i) image[0x300 + i] = uint8_t(bytes[i]);
    image[0x300 + int(bytes.size())] = 0;
    EXPECT_EQ(ReadFixedText(image, 0x300, 15), text);
  }
}

// One byte per character: Latin-1 has them all; the first character beyond is named, a
// surrogate pair whole, and no byte is made up for it.
TEST(Texts, PagerTextBytesOrTheFirstCharacterWithout) {
  const struct {
    QString text;
    QByteArray bytes;
    QString unencodable;
  } cases[] = {
      {QString(), QByteArray(), QString()},
      {QStringLiteral("Ab 1"), QByteArray("Ab 1"), QString()},
      {QStringLiteral("\u00e9\u00ff\u00a0"), QByteArray("\xe9\xff\xa0"), QString()},
      {QStringLiteral("a\u20acb\u0142"), QByteArray(), QStringLiteral("\u20ac")},
      {QStringLiteral("\u0142"), QByteArray(), QStringLiteral("\u0142")},
      {QStringLiteral("x\U0001F600y"), QByteArray(), QStringLiteral("\U0001F600")},
      {QString(QChar(0xD83D)) + QStringLiteral("z"), QByteArray(), QString(QChar(0xD83D))},  // a lone half
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    const PagerTextBytes encoded = EncodePagerText(c.text);
    EXPECT_EQ(bool(encoded), c.unencodable.isEmpty());
    EXPECT_EQ(encoded.bytes, c.bytes);
    EXPECT_EQ(encoded.unencodable, c.unencodable);
    EXPECT_EQ(FirstUnencodableCharacter(c.text), c.unencodable);
  }
}

// A text without bytes that reaches a writer anyway leaves its field as it was: no "?" in place.
TEST(Texts, WritersLeaveTheFieldForATextWithoutBytes) {
  PagerImage image;
  for (int i = 0; i < 16; ++i) image[0x300 + i] = uint8_t(0x41 + i);
  const PagerImage before = image;
  QString text = QStringLiteral("ab\u20ac");
  WriteFixedText(text, image, 0x300, 6);
  WriteZeroFilledText(text, image, 0x300, 6);
  WriteZeroPaddedText(text, image, 0x300, 10);
  EXPECT_EQ(image, before);
  // Beyond the field's length a character does not count.
  QString shorter = QStringLiteral("abcd\u20ac");
  WriteFixedText(shorter, image, 0x300, 4);
  EXPECT_EQ(ReadFixedText(image, 0x300, 4), "abcd");
}

TEST(CheckDecimalRange, Cases) {
  struct Case {
    const char* text;
    uint32_t lo, hi;
    bool pass;
  };
  const Case cases[] = {
      {"0", 1, 3, false},
      {" 5 ", 1, 9, true},
      {"5a", 1, 9, false},
      {"-5", 1, 9, false},
      {"", 1, 9, false},
      {"   ", 1, 9, false},
      {"99999999999999999999", 1, 2097151, false},
      {"2097151", 8, 2097151, true},
      {"2097152", 8, 2097151, false},
      {"7", 8, 2097151, false},
      {"1048575", 8, 2097151, true},
      {"12a", 8, 2097151, false},
      {"0063", 1, 63, true},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckDecimalRange(c.text, c.lo, c.hi), c.pass) << c.text;
}

TEST(ReportTexts, PairsHaveEqualLength) {
  EXPECT_EQ(FlagLetter(true), "Y");
  EXPECT_EQ(FlagLetter(false), "N");
  EXPECT_EQ(YesNoText(false), "No ");
  EXPECT_EQ(EnableText(true), "Enable ");
  EXPECT_EQ(EnableText(false), "Disable");
  EXPECT_EQ(OnOffText(true), "On ");
  EXPECT_EQ(OnOffText(false), "Off");
}

TEST(Bindings, TableCodecsTouchOnlyTheirBits) {
  PagerData data;
  data.image[0x68] = 0x3C;
  auto baud = field::List("baud", 0x68, 0x03, {0x00, 0x01, 0x02});
  QVariant v = 2;
  baud.store(v, data);
  EXPECT_EQ(data.image[0x68], 0x3E);
  data.image[0x68] |= 0x03;  // bits no entry has load as entry 0
  EXPECT_EQ(baud.load(data).toInt(), 0);

  auto enable = field::InvertedFlag("enable1", 0x02, 0x80);
  EXPECT_TRUE(enable.load(data).toBool());
  QVariant off = false;
  enable.store(off, data);
  EXPECT_EQ(data.image[0x02], 0x81);

  auto text = field::FixedText("t", 0x300, 6);
  QVariant t = QString("Hi");
  text.store(t, data);
  EXPECT_EQ(t.toString(), "Hi    ");
  EXPECT_EQ(text.load(data).toString(), "Hi");

  auto sel = field::SelectionByte("auto3", 2);
  QVariant s = 4;
  sel.store(s, data);
  EXPECT_EQ(data.selection[2], 4);
}
