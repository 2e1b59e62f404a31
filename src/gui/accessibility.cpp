#include "gui/accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <map>

#include "gui/tab_strip.h"

namespace m84 {

namespace {

// One tab of the strip. The strip draws its tabs itself, so a tab has no object of its own: it is
// its strip and its index.
class AccessiblePageTab : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  AccessiblePageTab(TabStrip* strip, int index) : strip_(strip), index_(index) {}

  bool isValid() const override { return strip_ && index_ < strip_->Count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return strip_ ? strip_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(strip_.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  // The label as drawn, without the blanks some labels are padded with.
  QString text(QAccessible::Text kind) const override {
    if (!isValid()) return {};
    switch (kind) {
      case QAccessible::Name: return strip_->Label(index_).simplified();
      case QAccessible::Description: return strip_->Tip(index_);
      default: return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect tab = strip_->TabRect(index_);
    return QRect(strip_->mapToGlobal(tab.topLeft()), tab.size());
  }
  QAccessible::Role role() const override { return QAccessible::PageTab; }
  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    state.selectable = true;
    state.focusable = true;
    const bool current = strip_->CurrentIndex() == index_;
    state.selected = current;
    state.focused = current && strip_->hasFocus();
    state.invisible = !strip_->isVisible();
    state.disabled = !strip_->isEnabled();
    return state;
  }
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }

  // Pressing a tab selects its page, as the arrow keys do: the rows stay where they are, and the
  // page shown may refuse to be left.
  QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
  void doAction(const QString& action) override {
    if (!isValid()) return;
    if (action == setFocusAction()) strip_->setFocus(Qt::OtherFocusReason);
    if (action == pressAction() || action == setFocusAction()) strip_->SelectByUser(index_);
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QPointer<TabStrip> strip_;
  const int index_;
};

// The strip's children are its page tabs, then the pages it holds.
class AccessibleTabStrip : public QAccessibleWidget
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    ,
                           public QAccessibleSelectionInterface
#endif
{
 public:
  explicit AccessibleTabStrip(TabStrip* strip) : QAccessibleWidget(strip, QAccessible::PageTabList) {}
  ~AccessibleTabStrip() override {
    for (const auto& [index, id] : tabs_) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return TabCount() + QAccessibleWidget::childCount(); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0) return nullptr;
    if (index < TabCount()) return Tab(index);
    return QAccessibleWidget::child(index - TabCount());
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child) return -1;
    if (child->role() == QAccessible::PageTab && child->parent() == this) {
      for (int i = 0; i < TabCount(); ++i)
        if (Tab(i) == child) return i;
      return -1;
    }
    const int widget = QAccessibleWidget::indexOfChild(child);
    return widget < 0 ? -1 : TabCount() + widget;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint at = Strip()->mapFromGlobal(QPoint(x, y));
    for (int i = 0; i < TabCount(); ++i)
      if (Strip()->TabRect(i).contains(at)) return Tab(i);
    return QAccessibleWidget::childAt(x, y);
  }
  QAccessibleInterface* focusChild() const override {
    if (Strip()->hasFocus() && Strip()->CurrentIndex() >= 0) return Tab(Strip()->CurrentIndex());
    return QAccessibleWidget::focusChild();
  }
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return QStringLiteral("Settings pages");
    return QAccessibleWidget::text(kind);
  }

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::SelectionInterface) return static_cast<QAccessibleSelectionInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  // One page is always selected: selecting a tab selects its page, nothing unselects one.
  int selectedItemCount() const override { return Strip()->CurrentIndex() >= 0 ? 1 : 0; }
  QList<QAccessibleInterface*> selectedItems() const override {
    if (Strip()->CurrentIndex() < 0) return {};
    return {Tab(Strip()->CurrentIndex())};
  }
  bool select(QAccessibleInterface* item) override {
    const int index = indexOfChild(item);
    if (index < 0 || index >= TabCount()) return false;
    Strip()->SelectByUser(index);
    return Strip()->CurrentIndex() == index;
  }
  bool unselect(QAccessibleInterface*) override { return false; }
  bool selectAll() override { return false; }
  bool clear() override { return false; }
#endif

 private:
  TabStrip* Strip() const { return static_cast<TabStrip*>(widget()); }
  int TabCount() const { return Strip()->Count(); }
  // Made when first asked for and kept, so that a screen reader sees the same tab each time.
  QAccessibleInterface* Tab(int index) const {
    auto found = tabs_.find(index);
    if (found == tabs_.end())
      found =
          tabs_.emplace(index, QAccessible::registerAccessibleInterface(new AccessiblePageTab(Strip(), index))).first;
    return QAccessible::accessibleInterface(found->second);
  }

  mutable std::map<int, QAccessible::Id> tabs_;
};

// A list as Qt shows it: its pop-up list (and its edit, if any) as children, the entry shown as
// its value, opened by its press. Only a name given to it is its own name; a list without one is
// called by its entry, as Qt calls it. Interfaces are made once per list, perhaps before the page
// names it, so every list has this one.
class AccessibleList : public QAccessibleWidget {
 public:
  explicit AccessibleList(QComboBox* list) : QAccessibleWidget(list, QAccessible::ComboBox) {
    addControllingSignal(QStringLiteral("activated(int)"));
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value || (kind == QAccessible::Name && List()->accessibleName().isEmpty()))
      return List()->isEditable() ? List()->lineEdit()->text() : List()->currentText();
    return QAccessibleWidget::text(kind);
  }
  int childCount() const override { return List()->lineEdit() ? 2 : 1; }
  QAccessibleInterface* child(int index) const override {
    if (index == 0) return QAccessible::queryAccessibleInterface(List()->view());
    if (index == 1 && List()->lineEdit()) return QAccessible::queryAccessibleInterface(List()->lineEdit());
    return nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child) return -1;
    if (child->object() == List()->view()) return 0;
    if (List()->lineEdit() && child->object() == List()->lineEdit()) return 1;
    return -1;
  }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = List()->view()->isVisible();
    state.collapsed = !state.expanded;
    state.editable = List()->isEditable();
    return state;
  }
  QStringList actionNames() const override {
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == showMenuAction() || action == pressAction()) {
      if (List()->view()->isVisible())
        List()->hidePopup();
      else
        List()->showPopup();
      return;
    }
    QAccessibleWidget::doAction(action);
  }

 private:
  QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String(StatusLine::staticMetaObject.className()))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StatusBar);
  if (className == QLatin1String(TabStrip::staticMetaObject.className()))
    return new AccessibleTabStrip(static_cast<TabStrip*>(object));
  // Only the list itself: a class derived from it keeps what Qt gives it.
  if (className == QLatin1String("QComboBox")) return new AccessibleList(static_cast<QComboBox*>(object));
  return nullptr;
}

}  // namespace

void InstallAccessibleInterfaces() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  static_cast<void>(installed);
}

namespace {
// However small the screen, the area shows a few rows of a page.
constexpr int kLeastPageHeight = 80;
}  // namespace

PageArea::PageArea(const QRect& rect, QWidget* window) : QScrollArea(window), window_(window), designed_(rect) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(rect);
  auto* pages = new QWidget;
  pages->setFixedSize(rect.size());
  setWidget(pages);
  // The window's own background shows through, as when the pages lay on it.
  viewport()->setAutoFillBackground(false);
  pages->setAutoFillBackground(false);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now && Pages()->isAncestorOf(now)) ShowWhole(now);
  });
  window_->installEventFilter(this);
}

bool PageArea::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Show) {
    FitWindowToScreen();
    // Once shown, the window knows its screen and the frame the desktop gives it.
    QTimer::singleShot(0, this, &PageArea::FitWindowToScreen);
    if (QWindow* handle = window_->windowHandle())
      connect(handle, &QWindow::screenChanged, this, &PageArea::FitWindowToScreen, Qt::UniqueConnection);
  }
  // The desktop frames the window after its first show, and moves it when it frames it.
  if (watched == window_ && event->type() == QEvent::Move && window_->isVisible()) FitWindowToScreen();
  return QScrollArea::eventFilter(watched, event);
}

void PageArea::ShowWhole(QWidget* control) {
  if (!Pages()->isAncestorOf(control)) return;
  const QRect at(control->mapTo(Pages(), QPoint(0, 0)), control->size());
  ensureVisible(at.center().x(), at.center().y(), at.width() / 2 + 1, at.height() / 2 + 1);
}

void PageArea::FitWindowToScreen() {
  if (below_.empty() && windowHeight_ == 0) {
    windowHeight_ = window_->height();
    for (QWidget* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (child != this && child->y() >= designed_.bottom()) below_.emplace_back(child, child->y());
  }
  const QScreen* screen = window_->screen();
  if (!screen) return;
  const int frame = std::max(0, window_->frameGeometry().height() - window_->height());
  const int room = screen->availableGeometry().height() - frame;
  const int givenUp = std::clamp(windowHeight_ - room, 0, std::max(0, designed_.height() - kLeastPageHeight));
  if (givenUp == givenUp_) return;
  givenUp_ = givenUp;
  window_->setFixedHeight(windowHeight_ - givenUp_);
  setGeometry(designed_.adjusted(0, 0, 0, -givenUp_));
  for (const auto& [widget, top] : below_)
    if (widget) widget->move(widget->x(), top - givenUp_);
}

QString GuidePage(const QString& programFolder) {
  return QDir::cleanPath(programFolder + QStringLiteral("/../share/doc/m84dpt/guide/window.md"));
}

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) { InstallAccessibleInterfaces(); }

void AnnounceCurrentTab(TabStrip* strip) {
  const int current = strip->CurrentIndex();
  if (!QAccessible::isActive() || current < 0) return;
  QAccessibleEvent selection(strip, QAccessible::Selection);
  selection.setChild(current);
  QAccessible::updateAccessibility(&selection);
  if (!strip->hasFocus()) return;
  QAccessibleEvent focus(strip, QAccessible::Focus);
  focus.setChild(current);
  QAccessible::updateAccessibility(&focus);
}

void AnnounceStatus(QLabel* pane, const QString& text) {
  // Setting the name tells the bridge of the change itself.
  pane->setAccessibleName(text);
  if (text.isEmpty() || !QAccessible::isActive()) return;
  QAccessibleEvent alert(pane, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

}  // namespace m84
