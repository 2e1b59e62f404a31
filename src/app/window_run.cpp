#include "app/window_run.h"

#include "app/console_host.h"
#include "image/pager_image.h"
#include "ui/main_window.h"

namespace m84 {

int RunWindowProgram(QApplication& app, const QStringList& arguments) {
  Q_UNUSED(arguments);
  PagerData data;
  MainWindow window(data);
  window.show();
  return app.exec();
}

}  // namespace m84
