#include "app/window_run.h"

#include "app/console_host.h"
#include "app/startup.h"
#include "image/pager_image.h"
#include "ui/main_window.h"

namespace m84 {

int RunWindowProgram(QApplication& app, const QStringList& arguments) {
  Q_UNUSED(arguments);
  return RunWindowPath([&app](PagerData& data, InstanceGuard& guard) {
    MainWindow window(data);
    QObject::connect(&guard, &InstanceGuard::ActivationRequested, &window, &MainWindow::BringToFront);
    window.show();
    app.exec();
  });
}

}  // namespace m84
