#include "ui/mouse_guard.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace m84 {

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

// A press reaches the application's filters once for its window and once for each widget it is
// offered to. Only the widget copies are judged: a refused press stops at the first widget, so it
// beeps once; an accepted press that a widget passes on to its parent is simply asked again.
bool MouseGuard::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (!watched->isWidgetType() || (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick))
    return false;
  // The second press of a double click comes as a double-click event of its own.
  if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton || acceptsLeftClick_()) return false;
  event->accept();
  refused_();
  return true;
}

}  // namespace m84
