#include "pages/page_widgets.h"

namespace m84 {

SettingsPage* CreatePageWidget(PageModel& model, PagerData& data, PageHost& host, QWidget* parent) {
  switch (model.Id()) {
    default:
      return new SettingsPage(model, data, host, parent);
  }
}

}  // namespace m84
