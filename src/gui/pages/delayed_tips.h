#pragma once
// Tool tips that open after a page's own delay instead of the style's: the mouse resting on a
// control for the delay shows its tip, leaving or pressing hides it.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace m84 {

class DelayedTips : public QObject {
  Q_OBJECT
 public:
  DelayedTips(int delayMs, QObject* parent);

  void Add(QWidget* control, const QString& tip);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show();

  QTimer timer_;
  QPointer<QWidget> pending_;
  QHash<QObject*, QString> tips_;
};

}  // namespace m84
