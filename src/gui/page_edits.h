#pragma once
// Tells the user's edits in the pages from what they showed when the settings were last loaded,
// saved, read or written: what every control shows is kept at those moments and compared later.
// Comparing what is shown, rather than storing the pages into an image, leaves the controls alone
// (a store would clamp a capcode half-typed).

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace m84 {

class PageEdits : public QObject {
  Q_OBJECT
 public:
  explicit PageEdits(QObject* parent = nullptr);

  // Changed follows any change of the page's controls (typed, clicked or loaded), once per
  // turn of the event loop however many changed.
  void Watch(QWidget* page);
  // What the pages' controls show, in a fixed order.
  static QStringList Shown(const QList<QWidget*>& pages);

 signals:
  void Changed();

 private:
  QTimer coalesce_;
};

}  // namespace m84
