// The window as a screen reader finds it: walked through Qt's accessibility interfaces, as the
// desktop's bridge walks them, in both modes and on every page, with the pages reached through
// the tab strip's own page tabs.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>

#include "gui/accessibility.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"
#include "widget_fixtures.h"

using namespace m84;
using widget_test::Activate;

namespace {

// Events reach a screen reader, and the tests' recorder, only through the platform's bridge,
// which the offscreen platform has not.
constexpr const char* kNoBridge = "no accessibility bridge on this platform: events are not sent";

struct SilentTones : TonePlayer {
  void Play(const std::vector<ToneStep>&) override {}
};

bool IsInput(QAccessible::Role role) {
  switch (role) {
    case QAccessible::EditableText:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::RadioButton:
    case QAccessible::SpinBox:
    case QAccessible::Slider: return true;
    default: return false;
  }
}

QString Describe(const QObject* o) {
  return o ? QStringLiteral("%1 '%2'").arg(QString::fromLatin1(o->metaObject()->className()), o->objectName())
           : QStringLiteral("(no object)");
}

// The inputs a screen reader can reach: everything shown under the interface, but not what is
// inside an input (a list's pop-up belongs to its list).
void CollectInputs(QAccessibleInterface* iface, QHash<QObject*, QString>& inputs) {
  if (!iface || !iface->isValid() || iface->state().invisible) return;
  if (IsInput(iface->role())) {
    inputs.insert(iface->object(), iface->text(QAccessible::Name));
    return;
  }
  for (int i = 0; i < iface->childCount(); ++i) CollectInputs(iface->child(i), inputs);
}

QAccessibleInterface* StripInterface(MainWindow& window) {
  return QAccessible::queryAccessibleInterface(window.findChild<TabStrip*>());
}

// Every event the window sends while the bridge is active, as the bridge would get them.
struct RecordedEvent {
  QAccessible::Event type;
  QPointer<QObject> object;
  int child;
};
std::vector<RecordedEvent>& Recorded() {
  static std::vector<RecordedEvent> events;
  return events;
}
void Record(QAccessibleEvent* event) { Recorded().push_back({event->type(), event->object(), event->child()}); }

class AccessibleWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    QAccessible::installUpdateHandler(Record);
    QAccessible::setActive(true);
    Recorded().clear();
    window_ = std::make_unique<MainWindow>(
        data_, WindowOptions{nullptr, std::make_shared<SilentTones>(), QStringLiteral("/nonexistent/port")});
    ASSERT_NO_FATAL_FAILURE(Activate(window_.get()));
  }
  void TearDown() override {
    window_.reset();
    QAccessible::setActive(false);
    QAccessible::installUpdateHandler(nullptr);
  }

  // Fails on an input without a name and on two inputs of one mode sharing one.
  static void ExpectOwnNames(const QHash<QObject*, QString>& inputs) {
    QHash<QString, QObject*> byName;
    for (auto it = inputs.begin(); it != inputs.end(); ++it) {
      EXPECT_FALSE(it.value().trimmed().isEmpty()) << Describe(it.key()).toStdString() << " has no name";
      if (it.value().trimmed().isEmpty()) continue;
      const auto other = byName.constFind(it.value());
      EXPECT_TRUE(other == byName.constEnd()) << Describe(it.key()).toStdString() << " and "
                                              << Describe(other == byName.constEnd() ? nullptr : *other).toStdString()
                                              << " share the name '" << it.value().toStdString() << "'";
      byName.insert(it.value(), it.key());
    }
  }

  // Every control of the page that carries a setting was among the inputs walked.
  static void ExpectEveryRowReached(SettingsPage* page, const QHash<QObject*, QString>& inputs) {
    for (const ControlRow& row : page->Rows()) {
      if (!row.CarriesValue() || !row.Widget()->isVisible()) continue;
      EXPECT_TRUE(inputs.contains(row.Widget())) << Describe(row.Widget()).toStdString() << " is out of reach";
    }
  }

  PagerData data_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(AccessibleWindow, EveryInputOfEitherModeHasANameOfItsOwn) {
  QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window_.get());
  ASSERT_NE(root, nullptr);
  {
    SCOPED_TRACE("basic mode");
    QHash<QObject*, QString> inputs;
    CollectInputs(root, inputs);
    EXPECT_GE(inputs.size(), 8);  // the capcodes at least
    ExpectOwnNames(inputs);
    ExpectEveryRowReached(window_->Page(PageId::Basic), inputs);
  }

  window_->SwitchToAdvancedMode();
  QAccessibleInterface* strip = StripInterface(*window_);
  ASSERT_NE(strip, nullptr);
  QHash<QObject*, QString> inputs;
  for (int index = 0; index < kTabPageCount; ++index) {
    SCOPED_TRACE(kTabPages[size_t(index)].tabLabel);
    QAccessibleInterface* tab = strip->child(index);
    ASSERT_NE(tab, nullptr);
    ASSERT_NE(tab->actionInterface(), nullptr);
    tab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    SettingsPage* page = window_->Page(kTabPages[size_t(index)].id);
    ASSERT_TRUE(page->isVisible());
    QHash<QObject*, QString> shown;
    CollectInputs(root, shown);
    ExpectEveryRowReached(page, shown);
    inputs.insert(shown);
  }
  SCOPED_TRACE("advanced mode, all pages");
  EXPECT_GE(inputs.size(), 400);
  ExpectOwnNames(inputs);
  std::cout << "named inputs in advanced mode: " << inputs.size() << "\n";
}

}  // namespace

TEST_F(AccessibleWindow, TheTabStripIsAPageTabListOfTwelvePageTabsThatSelectTheirPages) {
  window_->SwitchToAdvancedMode();
  auto* strip = window_->findChild<TabStrip*>();
  QAccessibleInterface* list = StripInterface(*window_);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::PageTabList);
  int tabs = 0;
  for (int i = 0; i < list->childCount(); ++i) {
    QAccessibleInterface* tab = list->child(i);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(list->indexOfChild(tab), i);
    if (tab->role() != QAccessible::PageTab) continue;
    ASSERT_LT(tabs, kTabPageCount);
    const PageInfo& info = kTabPages[size_t(tabs)];
    EXPECT_EQ(tab->text(QAccessible::Name), QString::fromLatin1(info.tabLabel).simplified());
    EXPECT_EQ(tab->text(QAccessible::Description), QString::fromLatin1(info.tabTip));
    EXPECT_EQ(tab->parent(), list);
    EXPECT_EQ(list->child(i), tab);  // the same tab each time it is asked for
    EXPECT_TRUE(tab->state().selectable);
    EXPECT_EQ(bool(tab->state().selected), tabs == strip->CurrentIndex());
    EXPECT_TRUE(QRect(strip->mapToGlobal(QPoint(0, 0)), strip->size()).contains(tab->rect()));
    EXPECT_EQ(list->childAt(tab->rect().center().x(), tab->rect().center().y()), tab);
    ++tabs;
  }
  EXPECT_EQ(tabs, kTabPageCount);

  const int index = TabIndexOf(PageId::Tones);
  QSignalSpy changed(strip, &TabStrip::CurrentChanged);
  Recorded().clear();
  list->child(index)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(strip->CurrentIndex(), index);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_TRUE(window_->Page(PageId::Tones)->isVisible());
  EXPECT_FALSE(window_->Page(PageId::General)->isVisible());
  EXPECT_TRUE(list->child(index)->state().selected);
  EXPECT_FALSE(list->child(0)->state().selected);
}

TEST_F(AccessibleWindow, ASelectedTabIsAnnounced) {
  if (!QAccessible::isActive()) GTEST_SKIP() << kNoBridge;
  window_->SwitchToAdvancedMode();
  auto* strip = window_->findChild<TabStrip*>();
  for (const int index : {TabIndexOf(PageId::Tones), TabIndexOf(PageId::Cadence)}) {
    Recorded().clear();
    StripInterface(*window_)->child(index)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    const bool announced = std::any_of(Recorded().begin(), Recorded().end(), [&](const RecordedEvent& e) {
      return e.type == QAccessible::Selection && e.object == strip && e.child == index;
    });
    EXPECT_TRUE(announced) << index;
  }
}

// A screen reader's selection is the user's: the page shown is left as the user leaves it, and
// a text its check refuses keeps the page.
TEST_F(AccessibleWindow, APageTabIsNotSelectedWhileThePageShownRefusesToBeLeft) {
  window_->SwitchToAdvancedMode();
  auto* strip = window_->findChild<TabStrip*>();
  auto* capcode = widget_test::Control(window_->Page(PageId::General), QStringLiteral("capcode0"));
  ASSERT_NE(capcode, nullptr);
  capcode->setFocus(Qt::TabFocusReason);
  capcode->setText(QStringLiteral("x"));
  StripInterface(*window_)
      ->child(TabIndexOf(PageId::Tones))
      ->actionInterface()
      ->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(strip->CurrentIndex(), TabIndexOf(PageId::General));
  EXPECT_TRUE(window_->Page(PageId::General)->isVisible());
  EXPECT_FALSE(window_->StatusText(MainWindow::kMessagePane).isEmpty());
}

const QString kStatusTexts[] = {QStringLiteral("File Loaded OK"),
                                QStringLiteral("Write error — the pager did not answer after block 12 of 64; the pager "
                                               "is half-written and must be written again before it is used")};

// The pane's name is the whole text, even one the pane is too narrow for.
TEST_F(AccessibleWindow, TheStatusPaneIsNamedByItsWholeText) {
  window_->ShowStatus(QStringLiteral("Finding the pane"));
  QLabel* pane = nullptr;
  for (QLabel* label : window_->findChildren<QLabel*>())
    if (label->text() == QStringLiteral("Finding the pane")) pane = label;
  ASSERT_NE(pane, nullptr);
  for (const QString& text : kStatusTexts) {
    window_->ShowStatus(text);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(pane)->text(QAccessible::Name), text);
  }
}

// Every interface under iface with the role, shown or not.
void CollectRole(QAccessibleInterface* iface, QAccessible::Role role, QList<QAccessibleInterface*>& found) {
  if (!iface || !iface->isValid()) return;
  if (iface->role() == role) found << iface;
  for (int i = 0; i < iface->childCount(); ++i) CollectRole(iface->child(i), role, found);
}

// A screen reader asked to read the status bar finds one, the status line, and reads its panes:
// the message first, then the adapter's state.
TEST_F(AccessibleWindow, TheStatusLineIsTheWindowsOneStatusBar) {
  window_->ShowStatus(kStatusTexts[1]);
  window_->ShowAdapterState(AdapterState::Ready);
  QList<QAccessibleInterface*> bars;
  CollectRole(QAccessible::queryAccessibleInterface(window_.get()), QAccessible::StatusBar, bars);
  ASSERT_EQ(bars.size(), 1);
  QAccessibleInterface* bar = bars.front();
  EXPECT_FALSE(bar->state().invisible);
  QStringList read;
  int message = -1;
  for (int i = 0; i < bar->childCount(); ++i) {
    QAccessibleInterface* pane = bar->child(i);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->parent(), bar);
    EXPECT_EQ(bar->indexOfChild(pane), i);
    const QString name = pane->text(QAccessible::Name);
    if (name.trimmed().isEmpty()) continue;
    if (read.isEmpty()) message = i;
    read << name;
  }
  ASSERT_GE(read.size(), 2) << read.join(QStringLiteral(" | ")).toStdString();
  EXPECT_EQ(read.front(), kStatusTexts[1]);
  EXPECT_TRUE(read.contains(window_->StatusText(MainWindow::kAdapterPane)))
      << read.join(QStringLiteral(" | ")).toStdString();
  // Whatever the line shows later is read in the same place.
  window_->ShowStatus(kStatusTexts[0]);
  EXPECT_EQ(bar->child(message)->text(QAccessible::Name), kStatusTexts[0]);
}

// The status line speaks up: an alert for each text.
TEST_F(AccessibleWindow, StatusTextsAreAnnounced) {
  if (!QAccessible::isActive()) GTEST_SKIP() << kNoBridge;
  for (const QString& text : kStatusTexts) {
    Recorded().clear();
    window_->ShowStatus(text);
    const auto alert = std::find_if(Recorded().begin(), Recorded().end(),
                                    [](const RecordedEvent& e) { return e.type == QAccessible::Alert; });
    ASSERT_NE(alert, Recorded().end()) << text.toStdString();
    QAccessibleInterface* pane = QAccessible::queryAccessibleInterface(alert->object);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->text(QAccessible::Name), text);
  }
  Recorded().clear();
  window_->ShowStatus(QString());
  EXPECT_TRUE(std::none_of(Recorded().begin(), Recorded().end(),
                           [](const RecordedEvent& e) { return e.type == QAccessible::Alert; }));
}

// A list is called by the name the window gives it, its entry being its value; one without a
// name is called by its entry, as Qt calls it.
TEST(AccessibleList, IsCalledByItsNameWithItsEntryAsValue) {
  InstallAccessibleInterfaces();
  QWidget page;
  auto* named = new QComboBox(&page);
  auto* unnamed = new QComboBox(&page);
  for (QComboBox* list : {named, unnamed}) list->addItems({QStringLiteral("-8"), QStringLiteral("+8")});
  QAccessibleInterface* before = QAccessible::queryAccessibleInterface(named);
  named->setAccessibleName(QStringLiteral("Capcode 3 Auto Increment"));
  named->setCurrentIndex(1);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(named);
  EXPECT_EQ(list, before);  // named after its interface was made, as a page may
  EXPECT_EQ(list->role(), QAccessible::ComboBox);
  EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("Capcode 3 Auto Increment"));
  EXPECT_EQ(list->text(QAccessible::Value), QStringLiteral("+8"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(unnamed)->text(QAccessible::Name), QStringLiteral("-8"));
  ASSERT_EQ(list->childCount(), 1);
  EXPECT_EQ(list->child(0)->object(), static_cast<QObject*>(named->view()));
  EXPECT_TRUE(list->actionInterface()->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
}

// Pages declare their controls in the order they read (row by row, a column of a frame before
// the next); Tab and Enter follow the same order. In the window: the tab strip, the page, then
// the buttons.
TEST_F(AccessibleWindow, FocusFollowsThePage) {
  const auto expectDeclaredOrder = [](SettingsPage* page) {
    const QList<QWidget*> order = page->TabOrder();
    QList<QWidget*> declared;
    for (const ControlRow& row : page->Rows())
      if (order.contains(row.Widget())) declared << row.Widget();
    EXPECT_EQ(order, declared);
  };
  const auto windowOrder = [this] {
    QList<QWidget*> order;
    QWidget* start = window_->nextInFocusChain();
    for (QWidget* w = start; w; w = w->nextInFocusChain()) {
      if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) order << w;
      if (w->nextInFocusChain() == start) break;
    }
    return order;
  };
  {
    SCOPED_TRACE("Basic");
    SettingsPage* basic = window_->Page(PageId::Basic);
    expectDeclaredOrder(basic);
    const QList<QWidget*> order = windowOrder();
    ASSERT_FALSE(order.isEmpty());
    EXPECT_EQ(order.mid(0, basic->TabOrder().size()), basic->TabOrder());
    EXPECT_EQ(order.last(), window_->Button(MainWindow::kReadButton)->isEnabled()
                                ? window_->Button(MainWindow::kReadButton)
                                : window_->Button(MainWindow::kLoadButton));
  }
  window_->SwitchToAdvancedMode();
  auto* strip = window_->findChild<TabStrip*>();
  for (int index = 0; index < kTabPageCount; ++index) {
    SCOPED_TRACE(kTabPages[size_t(index)].tabLabel);
    strip->SelectByUser(index);
    SettingsPage* page = window_->Page(kTabPages[size_t(index)].id);
    expectDeclaredOrder(page);
    const QList<QWidget*> order = windowOrder();
    const QList<QWidget*> controls = page->TabOrder();
    ASSERT_GE(order.size(), 1 + controls.size());
    EXPECT_EQ(order.first(), strip);
    EXPECT_EQ(order.mid(1, controls.size()), controls);
    for (QWidget* rest : order.mid(1 + controls.size()))
      EXPECT_TRUE(qobject_cast<QPushButton*>(rest)) << Describe(rest).toStdString();
  }
}

namespace {

QChar Mnemonic(const QString& text) {
  const qsizetype at = text.indexOf(QLatin1Char('&'));
  return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
}

// The window with every menu it can have: a history (the History and Fleet menus), a file in Open
// Recent, advanced mode (the service commands); the guide opened in a viewer the test watches.
class KeyboardWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    WindowOptions options{nullptr, std::make_shared<SilentTones>(), QStringLiteral("/nonexistent/port")};
    options.historyLocation =
        HistoryLocation{HistoryLocation::Backend::SQLite, dir_.filePath(QStringLiteral("h.sqlite"))};
    options.guidePath = GuidePage(QFileInfo(QStringLiteral(M84DPT_PROGRAM)).absolutePath());
    options.openUrl = [this](const QUrl& url) {
      opened_ << url;
      return true;
    };
    const PreferenceStore store = PreferenceStore::FileStore(dir_.filePath(QStringLiteral("m84.ini")));
    ASSERT_TRUE(store.WriteRecentFiles({dir_.filePath(QStringLiteral("kept.DAT"))}));
    options.preferences = std::make_shared<const PreferenceStore>(store);
    window_ = std::make_unique<MainWindow>(data_, options);
    ASSERT_NO_FATAL_FAILURE(Activate(window_.get()));
    window_->SwitchToAdvancedMode();
  }

  QTemporaryDir dir_;
  PagerData data_;
  QList<QUrl> opened_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace

// Every command of the menus is reached from the keyboard: Alt and the menu's letter, then the
// entry's letter or its own keys. Within a menu no two entries share a letter, nor two menus; no
// menu takes a button's Alt+P, S, L, W or R.
TEST_F(KeyboardWindow, EveryMenuCommandHasKeysOfItsOwn) {
  QSet<QChar> taken;
  for (int i = 0; i < MainWindow::kButtonCount; ++i)
    taken << Mnemonic(window_->Button(MainWindow::CommandButton(i))->text());
  ASSERT_EQ(taken.size(), MainWindow::kButtonCount);
  QStringList titles;
  int commands = 0;
  std::function<void(QMenu*)> checkMenu = [&](QMenu* menu) {
    SCOPED_TRACE(menu->title().toStdString());
    QSet<QChar> letters;
    for (QAction* entry : menu->actions()) {
      if (entry->isSeparator() || !entry->isVisible()) continue;
      SCOPED_TRACE(entry->text().toStdString());
      const QChar letter = Mnemonic(entry->text());
      EXPECT_TRUE(!letter.isNull() || !entry->shortcut().isEmpty()) << "no keys reach it";
      if (!letter.isNull()) {
        EXPECT_FALSE(letters.contains(letter)) << "a second " << QString(letter).toStdString();
        letters << letter;
      }
      if (entry->menu())
        checkMenu(entry->menu());
      else
        ++commands;
    }
  };
  for (QAction* top : window_->MenuBar()->actions()) {
    if (!top->isVisible()) continue;
    titles << top->text();
    const QChar letter = Mnemonic(top->text());
    EXPECT_FALSE(letter.isNull()) << top->text().toStdString();
    EXPECT_FALSE(taken.contains(letter)) << top->text().toStdString() << " takes a letter already taken";
    taken << letter;
    checkMenu(top->menu());
  }
  for (const char* menu : {"&File", "Pa&ger", "Hist&ory", "Fle&et", "&Tools", "&Help"})
    EXPECT_TRUE(titles.contains(QString::fromLatin1(menu))) << menu << " in " << titles.join(' ').toStdString();
  EXPECT_GE(commands, int(MainWindow::kMenuCommandCount) + 1);  // and the recent file
  std::cout << "menus: " << titles.join(QLatin1Char(' ')).toStdString() << "; commands: " << commands << "\n";
}

// Alt and a menu's letter open that menu; Alt+H, G opens the guide's page on the window.
TEST_F(KeyboardWindow, AltAndTheMenusLettersOpenTheGuide) {
  for (QAction* top : window_->MenuBar()->actions()) {
    if (!top->isVisible()) continue;
    SCOPED_TRACE(top->text().toStdString());
    QTest::keyClick(window_.get(), Mnemonic(top->text()).toLower().toLatin1(), Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == top->menu(); }, 2000));
    QTest::keyClick(top->menu(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
  }
  QTest::keyClick(window_.get(), 'h', Qt::AltModifier);
  QMenu* help = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(help, nullptr);
  QSignalSpy guide(window_->Action(MainWindow::kGuideCommand), &QAction::triggered);
  QTest::keyClick(help, 'g');
  ASSERT_EQ(guide.size(), 1);
  ASSERT_EQ(opened_.size(), 1);
  EXPECT_TRUE(opened_[0].isLocalFile());
  EXPECT_EQ(QFileInfo(opened_[0].toLocalFile()).fileName(), QStringLiteral("window.md"));
  EXPECT_TRUE(QFileInfo::exists(opened_[0].toLocalFile())) << opened_[0].toLocalFile().toStdString();
}

// A guide that is not where it is looked for is said so, naming where; nothing opens.
TEST_F(KeyboardWindow, AGuideThatIsMissingIsNamedInTheStatusLine) {
  PagerData data;
  WindowOptions options{nullptr, std::make_shared<SilentTones>(), QStringLiteral("/nonexistent/port")};
  options.guidePath = dir_.filePath(QStringLiteral("share/doc/m84dpt/guide/window.md"));
  options.openUrl = [this](const QUrl& url) {
    opened_ << url;
    return true;
  };
  MainWindow window(data, options);
  window.Action(MainWindow::kGuideCommand)->trigger();
  EXPECT_TRUE(opened_.isEmpty());
  EXPECT_EQ(window.StatusText(MainWindow::kMessagePane),
            QStringLiteral("The guide cannot be opened: ") + options.guidePath);
}

// The page Help, Guide opens: as the package installs them, the program in bin finds the guide the
// package puts under share/doc; the program of the build tree finds the copy beside it.
TEST(GuidePage, IsFoundWhereThePackageAndTheBuildTreePutIt) {
  const QString prefix = QStringLiteral("/opt/m84");
  EXPECT_EQ(GuidePage(prefix + QStringLiteral("/" M84_INSTALL_BINDIR)),
            prefix + QStringLiteral("/" M84_INSTALL_DOCDIR "/guide/window.md"));
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(M84_SOURCE_DIR "/docs/guide/window.md")));  // what is installed there
  const QString built = GuidePage(QFileInfo(QStringLiteral(M84DPT_PROGRAM)).absolutePath());
  EXPECT_TRUE(QFileInfo::exists(built)) << built.toStdString();
  QFile source(QStringLiteral(M84_SOURCE_DIR "/docs/guide/window.md"));
  QFile copy(built);
  ASSERT_TRUE(source.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), source.readAll());
}
