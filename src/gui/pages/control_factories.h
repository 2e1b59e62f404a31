#pragma once
// The controls every page builds, made the same way on every page. Pages declare them to the
// base afterwards (pages/settings_page.h); nothing here binds or names a control.

#include <QCheckBox>
#include <QString>
#include <QStringList>

class QBoxLayout;
class QComboBox;
class QGroupBox;
class QLayout;
class QLineEdit;
class QPushButton;

namespace m84 {

// The pages' compact spacing: dialog-like margins and gaps.
constexpr int kControlMargin = 4;
constexpr int kControlSpacing = 2;

// Page margins and spacing on a layout.
void Compact(QLayout* layout);
// A frame with its caption (blanks kept) and a compact layout of the given kind inside.
QGroupBox* Frame(const QString& caption, QBoxLayout* layout);
// A compact vertical / horizontal frame.
QGroupBox* VerticalFrame(const QString& caption);
QGroupBox* HorizontalFrame(const QString& caption);

// An edit that shows a value the user cannot change: no focus, centred, fixed width.
QLineEdit* ReadOnlyEdit(int width);
// An edit of at most maxLength characters.
QLineEdit* TextEdit(int maxLength);
// An edit for a number: digits only, centred, fixed width.
QLineEdit* NumberEdit(int width);
// A drop-down list of fixed entries, in order.
QComboBox* ListOf(const QStringList& entries);
// A button that leaves the Enter key to the page.
QPushButton* PageButton(const QString& text);

// A check box whose text wraps onto further lines in a narrow column; clicking anywhere on it
// toggles it. It is as wide as the given first line.
class WrappingCheckBox : public QCheckBox {
 public:
  WrappingCheckBox(const QString& text, const QString& firstLine);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& position) const override { return rect().contains(position); }

 private:
  int TextIndent() const;

  QString firstLine_;
};

}  // namespace m84
