#include "core/pages/reminders_page.h"

#include <array>
#include <iterator>

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace reminders_key;

// Seconds of each interval entry. An interval between two entries loads as the longer of them.
constexpr std::array<uint16_t, 6> kIntervalSeconds = {30, 60, 120, 300, 600, 900};
constexpr int kLongestInterval = int(kIntervalSeconds.size()) - 1;

// Duration bytes: until the message is read, or at most 30 minutes.
constexpr uint8_t kUntilReadByte = 0xFF;
constexpr uint8_t kMaximumDurationBytes[] = {0x08, 0x07};
constexpr int kUntilReadEntry = 0;
constexpr int kMaximumDurationEntry = 1;

FieldBinding IntervalField(const QString& key) {
  return {key,
          [](const PagerData& d) {
            const uint32_t seconds = ReadLittleEndian(d.image, kReminderIntervalOffset, 2);
            for (int i = 0; i < kLongestInterval; ++i)
              if (seconds <= kIntervalSeconds[size_t(i)]) return QVariant(i);
            return QVariant(kLongestInterval);
          },
          [](QVariant& v, PagerData& d) {
            const int index = v.toInt();
            const uint16_t seconds =
                kIntervalSeconds[size_t(index >= 0 && index < kLongestInterval ? index : kLongestInterval)];
            d.image[kReminderIntervalOffset] = static_cast<uint8_t>(seconds & 0xFF);
            d.image[kReminderIntervalOffset + 1] = static_cast<uint8_t>(seconds >> 8);
          }};
}

// Only the first byte is read back; the pager looks at no more to tell the two apart.
FieldBinding DurationField(const QString& key) {
  return {
      key,
      [](const PagerData& d) {
        return QVariant(d.image[kReminderDurationOffset] == kUntilReadByte ? kUntilReadEntry : kMaximumDurationEntry);
      },
      [](QVariant& v, PagerData& d) {
        const bool untilRead = v.toInt() == kUntilReadEntry;
        for (int i = 0; i < int(std::size(kMaximumDurationBytes)); ++i)
          d.image[kReminderDurationOffset + i] = untilRead ? kUntilReadByte : kMaximumDurationBytes[i];
      }};
}

}  // namespace

bool ReminderListsEnabled(bool reminderAlert) { return reminderAlert; }

// In the order of the page's store.
BindingTable RemindersPageModel::Bindings() const {
  const Condition whileReminding = [](const PageValues& v) { return ReminderListsEnabled(v.Flag(kReminderAlert)); };
  return {
      field::Flag(kReminderAlert, image_map::kReminderAlert)
          .Labelled(QStringLiteral("Unread Message Reminder Alert"))
          .Reported(QStringLiteral("Unread message reminder alert: %1"), Wording::YesNo),
      // Blanks inside the entries are part of them.
      IntervalField(kInterval)
          .Labelled(QStringLiteral("Remind user every"))
          .Entries({QStringLiteral("30 second  "), QStringLiteral("  1  minute"), QStringLiteral("  2  minute"),
                    QStringLiteral("  5  minute"), QStringLiteral(" 10 minute"), QStringLiteral(" 15 minute")})
          .EnabledWhen(whileReminding)
          .Reported(QStringLiteral("Reminder user every %1"), Wording::Entry),
      DurationField(kDuration)
          .Labelled(QStringLiteral("Duration of reminder beeps"))
          .Entries({QStringLiteral("Remind until message has been read"), QStringLiteral("Maximum 30 minute")})
          .EnabledWhen(whileReminding)
          .Reported(QStringLiteral("Number of reminder beeps: %1"), Wording::Entry),
      field::Flag(kUnreadIndication, image_map::kUnreadIndication)
          .Labelled(QStringLiteral("Unread message Indication"))
          .Reported(QStringLiteral("Unread message indication: %1"), Wording::YesNo),
  };
}

void RemindersPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Reminders]"));
  PrintRows(report);
}

}  // namespace m84
