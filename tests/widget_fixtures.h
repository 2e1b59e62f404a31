#pragma once
// What the widget tests share: a page host and a tone player that record instead of showing and
// sounding, finding a named control, clicks as a user makes them, and a page shown on its own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <vector>

#include "core/image/pager_image.h"
#include "gui/beeps.h"
#include "gui/pages/settings_page.h"
#include "gui/tab_strip.h"

namespace m84 {

inline bool operator==(const ToneStep& a, const ToneStep& b) {
  return a.frequencyHz == b.frequencyHz && a.durationMs == b.durationMs;
}

namespace widget_test {

struct RecordingPageHost : PageHost {
  QStringList statuses;
  std::vector<Beep> beeps;
  int advancedRequests = 0;
  void ShowStatus(const QString& text) override { statuses << text; }
  void Sound(Beep beep) override { beeps.push_back(beep); }
  void RequestAdvancedMode() override { ++advancedRequests; }
};

struct RecordingTones : TonePlayer {
  std::vector<std::vector<ToneStep>> played;
  void Play(const std::vector<ToneStep>& steps) override { played.push_back(steps); }
  bool LastPlayed(Beep beep) const { return !played.empty() && played.back() == TonesOf(beep); }
};

// Shown and active, as the user has a window in front of them; key events go nowhere otherwise.
inline void Activate(QWidget* window) {
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

template <typename T = QLineEdit>
T* Control(QWidget* parent, const QString& name) {
  T* control = parent->findChild<T*>(name);
  EXPECT_NE(control, nullptr) << name.toStdString();
  return control;
}

// A click on the box itself, where a check box takes it.
inline void ClickBox(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

// The hint line as the mouse enters a control.
inline void Hover(QWidget* control) {
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), control->mapToGlobal(QPointF(1, 1)));
  QApplication::sendEvent(control, &enter);
}

inline void ClickTab(TabStrip* strip, PageId id) {
  QTest::mouseClick(strip, Qt::LeftButton, {}, strip->TabRect(TabIndexOf(id)).center());
}

// One page widget on its own at the size the test lays it out in, shown, active and loaded from
// the default image.
template <typename Model, typename Widget, int Width, int Height>
struct PageWidgetFixture : ::testing::Test {
  PagerData data;
  Model model;
  RecordingPageHost host;
  std::unique_ptr<Widget> page;

  void SetUp() override {
    page = std::make_unique<Widget>(model, data, host);
    page->resize(Width, Height);
    ASSERT_NO_FATAL_FAILURE(Activate(page.get()));
    page->ExchangeImage(Direction::Load);
  }
  template <typename T = QLineEdit>
  T* Control(const QString& name) {
    return widget_test::Control<T>(page.get(), name);
  }
  QLineEdit* Edit(const QString& name) { return Control<QLineEdit>(name); }
  QCheckBox* Box(const QString& name) { return Control<QCheckBox>(name); }

  // Leaves an edit as a user does, with the Tab key.
  void Leave(QWidget* control) { QTest::keyClick(control, Qt::Key_Tab); }
  bool RejectedWith(QWidget* control, const QString& message) {
    return !host.statuses.isEmpty() && host.statuses.back() == message && !host.beeps.empty() &&
           host.beeps.back() == Beep::Error && QApplication::focusWidget() == control;
  }
};

}  // namespace widget_test
}  // namespace m84
