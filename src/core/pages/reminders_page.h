#pragma once
// The Reminders page without its controls: whether, how often and how long the pager reminds the
// user of unread messages, and whether it shows that there are any.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kReminderOptionsOffset = image_map::kReminderOptionsByte;
constexpr int kReminderIntervalOffset = image_map::kReminderInterval.offset;
constexpr int kReminderDurationOffset = image_map::kReminderDuration.offset;

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
