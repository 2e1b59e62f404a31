#pragma once
// What the desktop's screen readers get from the window beyond what Qt's own widgets give them:
// the tab strip as a page tab list with one page tab per page, lists called by their names, and
// the status line's texts announced as they appear, the status line as the window's status bar.

#include <QString>
#include <QWidget>

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
