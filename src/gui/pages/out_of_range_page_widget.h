#pragma once
// The Out of Range / Display Cap page's controls over OutOfRangePageModel: the out-of-range
// frame above, the display texts of the capcodes and beep codes below.

#include "core/pages/out_of_range_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class OutOfRangePageWidget : public SettingsPage {
  Q_OBJECT
 public:
  OutOfRangePageWidget(OutOfRangePageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildOutOfRangeFrame();
  QWidget* BuildDisplayTextFrame();
  // Name edits in two columns, the first half on the left; each labelled with its description.
  QWidget* BuildNameFrame(const QString& caption, const QStringList& keys);
};

}  // namespace m84
