#include "gui/mouse_guard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace m84 {

namespace {

bool IsInside(const QObject* object, const QObject* page) {
  for (; object; object = object->parent())
    if (object == page) return true;
  return false;
}

// Keys that act on a widget outside the page: the tab strip's arrows, a focused button's
// Enter and Space.
bool IsLeavingKey(int key) {
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Select: return true;
    default: return false;
  }
}

}  // namespace

MouseGuard::MouseGuard(std::function<bool()> acceptsLeftClick, std::function<void()> refused, QObject* parent)
    : QObject(parent), acceptsLeftClick_(std::move(acceptsLeftClick)), refused_(std::move(refused)) {}

MouseGuard::~MouseGuard() { Remove(); }

void MouseGuard::Install() {
  if (installed_) return;
  QCoreApplication::instance()->installEventFilter(this);
  installed_ = true;
}

void MouseGuard::Remove() {
  if (!installed_) return;
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  installed_ = false;
}

bool MouseGuard::eventFilter(QObject* watched, QEvent* event) {
  if (!Judged(watched, event) || acceptsLeftClick_()) return false;
  event->accept();
  refused_();
  return true;
}

// A press reaches the application's filters once for its window and once for each widget it is
// offered to. Only the widget copies are judged: a refused press stops at the first widget, so it
// beeps once; an accepted press that a widget passes on to its parent is simply asked again.
// A key is offered to the focus widget and then to its parents, so a key the page leaves
// unused is judged when it reaches the tab strip.
bool MouseGuard::Judged(QObject* watched, QEvent* event) const {
  const auto outsidePage = [this, watched] { return !IsInside(watched, keyScope_ ? keyScope_() : nullptr); };
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:  // the second press of a double click
      return watched->isWidgetType() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    case QEvent::Shortcut: return outsidePage();
    case QEvent::KeyPress:
      return watched->isWidgetType() && IsLeavingKey(static_cast<QKeyEvent*>(event)->key()) && outsidePage();
    default: return false;
  }
}

}  // namespace m84
