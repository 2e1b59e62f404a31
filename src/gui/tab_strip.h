#pragma once
// The main window's multi-row tab strip, drawn as stacked cards with cut top corners: every row of
// tabs belongs to a card one step further back, up and to the right, and the window takes the
// cards' outline so the dialog shows through around them. The settings pages are plain children
// that the main window places and shows; the strip only draws the tabs and the cards' frame.

#include <QFont>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/window/tab_layout.h"

namespace m84 {

class TabStrip : public QWidget {
  Q_OBJECT

 public:
  explicit TabStrip(QWidget* parent = nullptr);

  void AddTab(const QString& label, const QString& tip);  // in order, before LayoutTabs
  // Used for the strip's own drawing only; the rows are laid out in the widget's own font.
  void SetTabFont(const QFont& font);
  void LayoutTabs(int indent, int cut);
  int CurrentIndex() const { return current_; }
  void SetCurrentIndex(int index);  // programmatic: no signal, rows stay where they are
  // Asked before the user's selection of another tab changes anything; false keeps the tab.
  void SetLeaveGuard(std::function<bool()> mayLeave) { mayLeave_ = std::move(mayLeave); }
  QRect TabRect(int index) const;
  int Count() const { return static_cast<int>(labels_.size()); }
  const QString& Label(int index) const { return labels_[static_cast<size_t>(index)]; }
  const QString& Tip(int index) const { return tips_[static_cast<size_t>(index)]; }
  // The user's selection by other means than a click (the arrow keys, a screen reader): the page
  // shown is asked first, the rows stay where they are.
  void SelectByUser(int index);

 signals:
  void CurrentChanged(int index);  // the user selected a tab (mouse or keyboard)

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void StepByKeyboard(int step);  // wraps round, as Ctrl+Tab does
  void UpdateWindowShape();

  std::vector<QString> labels_;
  std::vector<QString> tips_;
  QFont tabFont_;
  TabGeometry geometry_;
  int current_ = -1;
  std::function<bool()> mayLeave_;
};

}  // namespace m84
