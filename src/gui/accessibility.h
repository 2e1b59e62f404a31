#pragma once
// What the desktop's screen readers get from the window beyond what Qt's own widgets give them:
// the tab strip as a page tab list with one page tab per page, lists called by their names, and
// the status line's texts announced as they appear, the status line as the window's status bar.

#include <QPointer>
#include <QScrollArea>
#include <QString>
#include <QWidget>
#include <vector>

class QLabel;

namespace m84 {

class TabStrip;

// Qt asks the installed factories for a widget's interface; these are installed with the first
// tab strip or page made. Calling it again does nothing.
//  - The tab strip: a page tab list.
//  - A list: on this platform Qt calls a list by the entry it shows ("-8" for each of eight Auto
//    Increment lists) and leaves its name to a label beside it, which the cells of a grid do not
//    have. A list given a name is called by it, its entry being its value.
void InstallAccessibleInterfaces();

// The row of panes along the window's foot. A screen reader's "read the status bar" finds it as
// one, with its panes (the message, the adapter's state, the version, the clock) as its children.
class StatusLine : public QWidget {
  Q_OBJECT
 public:
  explicit StatusLine(QWidget* parent);
};

// Where the window's pages are shown. At the desktop's 200 % a 1920 x 1080 screen is 540 pixels
// high for the window, less than its pages, buttons and status line take: there the window keeps
// to its screen's work area, this area gives up the height it lacks and scrolls, and what lies below it
// (the buttons, the status line) moves up with it. Where the window fits, nothing moves and nothing
// scrolls. The area takes no focus; a control taking the focus is scrolled into sight.
class PageArea : public QScrollArea {
  Q_OBJECT
 public:
  // Placed at rect in window, the top-level window, for pages of rect's size.
  PageArea(const QRect& rect, QWidget* window);
  // What the pages are made in, as large as they are.
  QWidget* Pages() const { return widget(); }
  // Scrolls the whole of a control of the pages into sight; Qt's own scrolling shows only an
  // edit's cursor.
  void ShowWhole(QWidget* control);
  // How many pixels of its height the area gives up for the window to fit its screen.
  int HeightGivenUp() const { return givenUp_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FitWindowToScreen();

  QWidget* window_;
  QRect designed_;  // the area's place in the window as laid out
  int windowHeight_ = 0;
  std::vector<std::pair<QPointer<QWidget>, int>> below_;  // the widgets below it and their tops
  int givenUp_ = 0;
};

// Help, Guide: the guide's chapter on the window, for a program in programFolder. The package
// installs the program in bin and the guide under share/doc; the build tree keeps a copy at the
// same place beside its program.
QString GuidePage(const QString& programFolder);

// The strip's selected tab changed (the user's selection or the window's own): a screen reader
// following the strip hears the new page tab.
void AnnounceCurrentTab(TabStrip* strip);

// The status line shows a new text: its whole text is the pane's name even where the pane cuts
// it, and a screen reader is told at once rather than when the user next looks.
void AnnounceStatus(QLabel* pane, const QString& text);

}  // namespace m84
