#pragma once
// The Reminders page without its controls: whether, how often and how long the pager reminds the
// user of unread messages, and whether it shows that there are any.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page; bits 0xFC of 0x83 belong to other pages.
constexpr int kReminderOptionsOffset = 0x83;
constexpr uint8_t kReminderAlertBit = 0x01;
constexpr uint8_t kUnreadIndicationBit = 0x02;
constexpr int kReminderIntervalOffset = 0x6C;  // seconds, 16 bits, low byte first
constexpr int kReminderDurationOffset = 0x6E;  // two bytes

// Page variables.
namespace reminders_key {
inline const QString kReminderAlert = QStringLiteral("reminderAlert");
inline const QString kInterval = QStringLiteral("reminderInterval");
inline const QString kDuration = QStringLiteral("reminderDuration");
inline const QString kUnreadIndication = QStringLiteral("unreadIndication");
}  // namespace reminders_key

// How often and how long matter only while the reminder is on.
bool ReminderListsEnabled(bool reminderAlert);

class RemindersPageModel : public PageModel {
 public:
  RemindersPageModel() : PageModel(PageId::Reminders) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
