// Pictures of the real window for the README and the AppStream file: the window runs offscreen
// against the simulated adapter, and each view is grabbed as a PNG. Not part of the product;
// scripts/screenshots.sh builds and runs it.
//
//   grab_window FOLDER
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/link/simulator_host.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"

using namespace m84;

namespace {

// Long enough for the first presence check, which finds the simulated adapter.
constexpr int kSettleMs = 1500;

struct SilentTones : TonePlayer {
  void Play(const std::vector<ToneStep>&) override {}
};

void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The way a user gets there: a click on the page's tab.
void ClickTab(MainWindow& window, PageId page) {
  auto* strip = window.findChild<TabStrip*>();
  const QPointF at = strip->TabRect(TabIndexOf(page)).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, at, strip->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &click);
  }
}

bool Grab(QWidget& window, const QDir& folder, const char* name) {
  const QString path = folder.filePath(QString::fromLatin1(name));
  if (window.grab().save(path)) {
    std::printf("%s\n", qPrintable(path));
    return true;
  }
  std::fprintf(stderr, "grab_window: %s could not be written\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: grab_window FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  SimulatorHost simulator;
  if (const Outcome started = simulator.Start(); !started) {
    std::fprintf(stderr, "grab_window: the simulated adapter did not start: %s\n",
                 qPrintable(started.failure().reason));
    return 1;
  }
  PagerData data;
  WindowOptions options;
  options.tones = std::make_shared<SilentTones>();
  options.portName = simulator.DevicePath();
  MainWindow window(data, options);
  window.show();
  Settle(kSettleMs);
  bool saved = Grab(window, folder, "basic-mode.png");
  window.SwitchToAdvancedMode();
  Settle(kSettleMs);
  saved = Grab(window, folder, "advanced-general.png") && saved;
  ClickTab(window, PageId::Alerting);
  Settle(kSettleMs);
  saved = Grab(window, folder, "advanced-alerting.png") && saved;
  return saved ? 0 : 1;
}
