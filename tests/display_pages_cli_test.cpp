// "m84dpt report" and "m84dpt convert" over the Display, Reminders and Duplicate Message pages:
// the default file and one crafted image per page, through the real program.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

#include "core/image/dat_file.h"
#include "core/pages/display_page.h"
#include "core/pages/duplicate_page.h"
#include "core/pages/reminders_page.h"
#include "qstring_printer.h"
#include "report_text_helpers.h"

using namespace m84;

namespace {

struct ProgramRun {
  int exitCode = -1;
  QByteArray out;
};

ProgramRun RunProgram(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
  ProgramRun run;
  if (!process.waitForFinished(30000)) return run;
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput();
  return run;
}

void PutWord(PagerImage& image, int offset, uint16_t value) {
  image[offset] = uint8_t(value & 0xFF);
  image[offset + 1] = uint8_t(value >> 8);
}

// The bytes the three pages write.
std::vector<int> PageOffsets() {
  std::vector<int> offsets;
  for (int text : {kStartupTextOffset, kStandbyText1Offset, kStandbyText2Offset})
    for (int i = 0; i < kBasicTextLength; ++i) offsets.push_back(text + i);
  for (int offset :
       {kDisplayOptionsOffset, kMessageDisplayOffset, kStoredMessagesOffset, kBatteryOptionsOffset, kDisplayTimeOffset,
        kDisplayHalfTimeOffset, kContrastOffset, kReminderOptionsOffset, kDuplicateOptionsOffset, kDetectTimeOffset})
    offsets.push_back(offset);
  for (BatteryMark mark : kBatteryMarks)
    offsets.insert(offsets.end(), {BatteryMarkOffset(mark), BatteryMarkOffset(mark) + 1});
  for (int i = 0; i < 4; ++i) offsets.push_back(kReminderIntervalOffset + i);  // interval and duration
  return offsets;
}

struct Case {
  const char* name;
  std::function<void(PagerImage&)> craft;
  std::function<void(PagerImage&)> normalised;  // what convert makes of the crafted bytes
  QString heading;
  QStringList section;
};

const QStringList kDefaultDisplay = {
    "[Disply]",
    "Startup text: [Welcome to M84]",
    "Display current Date: No ",
    "Display current Time: Yes",
    "Standby text 1: [DR. Nora Clifts]",
    "Display alternative screen: No ",
    "Standby text 2: [Welcome to M84]",
    "Enable message preview mode: No ",
    "Set default text size small: Yes",
    "Time stamp messages: Yes",
    "Message number display: Yes",
    "Message address/function number: Yes",
    "Report alert when max messages reached: No ",
    "Time format:  M/D/Y",
    "Maximum number of stored message:   60",
    "Message number display format: Only number",
    "Message number ordering: Increment",
    "Low Battery alarm: Yes",
    "Low Battery display: Yes",
    "Vibrate when Battery low: No ",
    "Voltage for battery mark:  High:1.40V  Middle:1.30V  Low:1.20V",
    "LCD Display Time: 10 seconds",
    "LCD Contrast:   Level 15",
};
const QStringList kDefaultReminders = {
    "[Reminders]", "Unread message reminder alert: Yes", "Reminder user every   2  minute",
    "Number of reminder beeps: Remind until message has been read", "Unread message indication: Yes"};
const QStringList kDefaultDuplicate = {"[Duplicate Message]",
                                       "Duplicate message rejection: Disable",
                                       "Duplicate message detect time: 6 minutes",
                                       "Enable source independent duplicated message rejection: Yes",
                                       "Enable auto deletion when receiving duplicated message: Yes",
                                       "Display repeat message icon: Yes",
                                       "Repeat message tone pattern: Normal tone"};

void DefaultDisplayTime(PagerImage& image) {
  image[kDisplayTimeOffset] = 10;
  image[kDisplayHalfTimeOffset] = 5;
}

class DisplayPagesCli : public testing::Test {
 protected:
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QString WriteDat(const PagerImage& image, const char* name) const {
    PagerData data;
    data.image = image;
    QFile file(Path(name));
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(EncodeDatFile(data, 0));
    return file.fileName();
  }

  QTemporaryDir dir;
};

}  // namespace

TEST_F(DisplayPagesCli, DefaultFileReportsAndConvertsAsListed) {
  ASSERT_EQ(RunProgram({QStringLiteral("new"), Path("default.DAT")}).exitCode, 0);
  const ProgramRun report = RunProgram({QStringLiteral("report"), Path("default.DAT")});
  ASSERT_EQ(report.exitCode, 0);
  const QString text = QString::fromUtf8(report.out);
  EXPECT_EQ(SectionLines(text, QStringLiteral("[Disply]")), kDefaultDisplay);
  EXPECT_EQ(SectionLines(text, QStringLiteral("[Reminders]")), kDefaultReminders);
  EXPECT_EQ(SectionLines(text, QStringLiteral("[Duplicate Message]")), kDefaultDuplicate);
  // Page 1 in tab order: Display before Reminders before Duplicate Message.
  EXPECT_LT(text.indexOf(QStringLiteral("[Disply]")), text.indexOf(QStringLiteral("[Reminders]")));
  EXPECT_LT(text.indexOf(QStringLiteral("[Reminders]")), text.indexOf(QStringLiteral("[Duplicate Message]")));

  // Convert loads and stores every page: of the three pages' bytes only the display time changes.
  ASSERT_EQ(RunProgram({QStringLiteral("convert"), Path("default.DAT"), Path("default.BIN")}).exitCode, 0);
  QFile bin(Path("default.BIN"));
  ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
  const QByteArray bytes = bin.readAll();
  ASSERT_EQ(bytes.size(), kImageSize);
  PagerImage expected = PagerImage::Defaults();
  DefaultDisplayTime(expected);
  for (int offset : PageOffsets()) EXPECT_EQ(uint8_t(bytes[offset]), expected[offset]) << std::hex << offset;
}

TEST_F(DisplayPagesCli, CraftedImagePerPage) {
  const Case cases[] = {
      {"display",
       [](PagerImage& image) {
         image[kDisplayOptionsOffset] = kShowDateBit | kPreviewModeBit | kLargeTextBit | kDayFirstDateBit | 0x20;
         image[kAlternativeScreenOffset] = 0xFF;
         image[kMessageDisplayOffset] = kNumberOfTotalBit | kDecrementBit | kMaxMessagesAlertBit | 0x20;
         image[kStoredMessagesOffset] = 7;
         image[kBatteryOptionsOffset] = kLowBatteryVibrateBit | 0x1F;
         image[kDisplayTimeOffset] = 60;
         image[kDisplayHalfTimeOffset] = 0;
         image[kContrastOffset] = 50;
         PutWord(image, BatteryMarkOffset(BatteryMark::High), 2458);
         PutWord(image, BatteryMarkOffset(BatteryMark::Middle), 2457);
         PutWord(image, BatteryMarkOffset(BatteryMark::Low), 0);
         const char startup[] = "Hi  \0\0\0\0\0\0\0\0\0\0\0";
         for (int i = 0; i < kBasicTextLength; ++i) image[kStartupTextOffset + i] = uint8_t(startup[i]);
       },
       [](PagerImage& image) {
         image[kStoredMessagesOffset] = 60;
         image[kDisplayHalfTimeOffset] = 30;
         image[kContrastOffset] = 34;
         PutWord(image, BatteryMarkOffset(BatteryMark::Low), 1474);
         image[kStartupTextOffset + 2] = 0;  // the blanks loaded away are not written back
         image[kStartupTextOffset + 3] = 0;
       },
       QStringLiteral("[Disply]"),
       {"[Disply]",
        "Startup text: [Hi]",
        "Display current Date: Yes",
        "Display current Time: No ",
        "Standby text 1: [DR. Nora Clifts]",
        "Display alternative screen: Yes",
        "Standby text 2: [Welcome to M84]",
        "Enable message preview mode: Yes",
        "Set default text size small: No ",
        "Time stamp messages: No ",
        "Message number display: No ",
        "Message address/function number: No ",
        "Report alert when max messages reached: Yes",
        "Time format:  D/M/Y",
        "Maximum number of stored message:   60",
        "Message number display format:   No. / Total",
        "Message number ordering: Decrement",
        "Low Battery alarm: No ",
        "Low Battery display: No ",
        "Vibrate when Battery low: Yes",
        "Voltage for battery mark:  High:1.85V  Middle:1.50V  Low:0.90V",
        "LCD Display Time: 60 seconds",
        "LCD Contrast:   Level 11"}},
      {"reminders",
       [](PagerImage& image) {
         image[kReminderOptionsOffset] = 0xFC;
         PutWord(image, kReminderIntervalOffset, 45);
         PutWord(image, kReminderDurationOffset, 0);
       },
       [](PagerImage& image) {
         PutWord(image, kReminderIntervalOffset, 60);
         image[kReminderDurationOffset] = 0x08;
         image[kReminderDurationOffset + 1] = 0x07;
       },
       QStringLiteral("[Reminders]"),
       {"[Reminders]", "Unread message reminder alert: No ", "Reminder user every   1  minute",
        "Number of reminder beeps: Maximum 30 minute", "Unread message indication: No "}},
      {"duplicate",
       [](PagerImage& image) {
         image[kDuplicateOptionsOffset] = kDuplicateRejectionBit | 0x07;
         image[kDetectTimeOffset] = 5;
       },
       [](PagerImage& image) { image[kDetectTimeOffset] = 4; },
       QStringLiteral("[Duplicate Message]"),
       {"[Duplicate Message]", "Duplicate message rejection: Enable ", "Duplicate message detect time: 4 minutes",
        "Enable source independent duplicated message rejection: No ",
        "Enable auto deletion when receiving duplicated message: No ", "Display repeat message icon: No ",
        "Repeat message tone pattern: Short beep"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PagerImage image = PagerImage::Defaults();
    DefaultDisplayTime(image);
    c.craft(image);
    const QString dat = WriteDat(image, "crafted.DAT");
    const ProgramRun report = RunProgram({QStringLiteral("report"), dat});
    ASSERT_EQ(report.exitCode, 0);
    EXPECT_EQ(SectionLines(QString::fromUtf8(report.out), c.heading), c.section);

    ASSERT_EQ(RunProgram({QStringLiteral("convert"), dat, Path("crafted.BIN")}).exitCode, 0);
    QFile bin(Path("crafted.BIN"));
    ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
    const QByteArray bytes = bin.readAll();
    ASSERT_EQ(bytes.size(), kImageSize);
    PagerImage expected = image;
    c.normalised(expected);
    for (int offset : PageOffsets()) EXPECT_EQ(uint8_t(bytes[offset]), expected[offset]) << std::hex << offset;
  }
}
