#include "gui/pages/delayed_tips.h"

#include <QCursor>
#include <QEvent>
#include <QToolTip>
#include <QWidget>

namespace m84 {

DelayedTips::DelayedTips(int delayMs, QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setInterval(delayMs);
  connect(&timer_, &QTimer::timeout, this, &DelayedTips::Show);
}

void DelayedTips::Add(QWidget* control, const QString& tip) {
  control->setToolTip(tip);  // kept for accessibility; the style's own timing is swallowed below
  tips_.insert(control, tip);
  control->installEventFilter(this);
}

bool DelayedTips::eventFilter(QObject* watched, QEvent* event) {
  if (!tips_.contains(watched)) return false;
  switch (event->type()) {
    case QEvent::ToolTip: return true;
    case QEvent::Enter:
      pending_ = static_cast<QWidget*>(watched);
      timer_.start();
      break;
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::Hide:
      timer_.stop();
      if (pending_ == watched) QToolTip::hideText();
      pending_ = nullptr;
      break;
    default: break;
  }
  return false;
}

void DelayedTips::Show() {
  if (pending_ && pending_->isVisible()) QToolTip::showText(QCursor::pos(), tips_.value(pending_), pending_);
}

}  // namespace m84
