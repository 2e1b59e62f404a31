#pragma once
// The Duplicate Message page's controls over DuplicatePageModel. The page has no hint line.

#include "pages/duplicate_page.h"
#include "pages/settings_page.h"

namespace m84 {

class DuplicatePageWidget : public SettingsPage {
  Q_OBJECT
 public:
  DuplicatePageWidget(DuplicatePageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The mouse moving over a control of a page without a hint line leaves the status line alone.
bool IsHintEvent(const QEvent* event);

}  // namespace m84
