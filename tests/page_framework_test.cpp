// What every page inherits from the page framework, checked on every page the main window
// creates, in both modes: Enter steps and wraps inside the page, a rejected text on Enter is
// answered as leaving, hints follow the mouse, typed blanks survive stores, nothing is clipped.
// A new page is covered as soon as the window creates it.
#include <gtest/gtest.h>

#include <QSet>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>
#include <iostream>
#include <optional>

#include "core/pages/basic_page.h"
#include "core/pages/ota_page.h"
#include "gui/accessibility.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"
#include "widget_fixtures.h"

using namespace m84;
using widget_test::Activate;

namespace {

struct RecordingTones : TonePlayer {
  int played = 0;
  void Play(const std::vector<ToneStep>&) override { ++played; }
};

// Answers no file: an operation that got as far as its dialog stops there.
struct RecordingDialogs : FileDialogs {
  int asked = 0;
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return ++asked, QString(); }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return ++asked, QString(); }
};

struct ShownPage {
  QString name;  // for the trace
  SettingsPage* page;
};

struct WindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::shared_ptr<RecordingDialogs> dialogs = std::make_shared<RecordingDialogs>();
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    window = std::make_unique<MainWindow>(data, WindowOptions{dialogs, tones, QStringLiteral("/nonexistent/port")});
    ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  }

  // The enable-password command's edit enabled ("Allow OTA  to enable MSG password"), so that its
  // check is among the checked edits of the next load.
  void EnablePasswordCommand() { data.image[kFlexibleOtaOffset] |= 0x04; }

  // Runs check on each page as the window shows it: the Basic page in basic mode, then each tab
  // page selected as the user selects it.
  template <typename Check>
  void ForEveryShownPage(Check check) {
    {
      SCOPED_TRACE("Basic");
      check(window->Page(PageId::Basic));
    }
    window->SwitchToAdvancedMode();
    auto* strip = window->findChild<TabStrip*>();
    ASSERT_NE(strip, nullptr);
    for (int index = 0; index < kTabPageCount; ++index) {
      SCOPED_TRACE(kTabPages[size_t(index)].tabLabel);
      strip->SetCurrentIndex(index);
      emit strip->CurrentChanged(index);
      SettingsPage* page = window->Page(kTabPages[size_t(index)].id);
      ASSERT_TRUE(page->isVisible());
      check(page);
    }
  }
};

// Another window takes the focus, and the user comes back: focus changes that are no user's.
void SwitchAwayAndBack(QWidget* window) {
  QWidget other;
  other.resize(100, 100);
  Activate(&other);
  Activate(window);
}

// The first of these texts that the row's check rejects, or nothing. Letters first: the Over The
// Air page lets no click or key leave it with a command text shorter than four characters.
const QStringList kRejectCandidates = {QStringLiteral("abcd"),    QString(),
                                       QStringLiteral("0"),       QStringLiteral("7"),
                                       QStringLiteral("2097152"), QStringLiteral("99999999999"),
                                       QStringLiteral("x")};
std::optional<QString> RejectedText(const ControlRow& row) {
  for (const QString& text : kRejectCandidates)
    if (!row.Passes(text)) return text;
  return std::nullopt;
}

// An edit the user can type into whose check can fail.
QLineEdit* CheckedEdit(const ControlRow& row) {
  auto* edit = qobject_cast<QLineEdit*>(row.Widget());
  if (!row.HasCheck() || !edit || !edit->isEnabled() || edit->isReadOnly() || !RejectedText(row)) return nullptr;
  return edit;
}

QString Name(const QWidget* w) {
  return QStringLiteral("%1 '%2'").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

void PressEnter() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }

}  // namespace

// A key in a declaration that the model does not know (a typo) would show nothing and store
// nowhere.
TEST_F(WindowFixture, EveryControlThatCarriesAValueHasItsVariable) {
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      if (!row.CarriesValue()) continue;
      EXPECT_TRUE(page->Model().Values().Has(row.Key())) << Name(row.Widget()).toStdString();
    }
  });
}

// A check box on a text, or an edit on a list, would show and store nothing sensible: the page
// refuses such a control when it is made, and no page the window makes has one.
TEST_F(WindowFixture, EveryControlIsOfItsSettingsKind) {
  ForEveryShownPage([&](SettingsPage* page) {
    EXPECT_TRUE(page->RefusedControls().isEmpty()) << page->RefusedControls().join(QLatin1Char(' ')).toStdString();
    for (const ControlRow& row : page->Rows()) {
      const FieldBinding* binding = page->Model().Row(row.Key());
      if (binding && binding->form.kind == SettingKind::Text)
        EXPECT_TRUE(row.HoldsText()) << Name(row.Widget()).toStdString();
    }
  });
}

namespace {
struct NoHost : PageHost {
  void ShowStatus(const QString&) override {}
  void Sound(Beep) override {}
};

// A page made by hand over the Display page's rows: each setting's control from its form, and
// controls of the wrong kind beside them.
class MixedKindsPage : public SettingsPage {
 public:
  MixedKindsPage(PageModel& model, PagerData& data, PageHost& host) : SettingsPage(model, data, host) {
    auto* layout = new QVBoxLayout(this);
    Place(layout, QStringLiteral("startupText"));
    Place(layout, QStringLiteral("contrast"));
    Place(layout, QStringLiteral("previewMode"));
    Declare(Control(QStringLiteral("standbyText1"), new QCheckBox));
    Declare(Control(QStringLiteral("displayTime"), new QLineEdit));
  }
};
}  // namespace

TEST(SettingsPageKinds, PlaceMakesEachSettingsKindAndAControlOfAnotherKindIsRefused) {
  PagerData data;
  std::unique_ptr<PageModel> model = CreatePageModel(PageId::Display);
  model->Load(data);
  NoHost host;
  MixedKindsPage page(*model, data, host);
  EXPECT_EQ(page.RefusedControls(), (QStringList{QStringLiteral("standbyText1"), QStringLiteral("displayTime")}));
  ASSERT_EQ(page.Rows().size(), 3u);
  auto* text = qobject_cast<QLineEdit*>(page.Rows()[0].Widget());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->maxLength(), kBasicTextLength);
  EXPECT_TRUE(page.Rows()[0].HoldsText());
  EXPECT_NE(qobject_cast<QComboBox*>(page.Rows()[1].Widget()), nullptr);
  EXPECT_NE(qobject_cast<QCheckBox*>(page.Rows()[2].Widget()), nullptr);
}

// The converse: a setting whose row was added to the model but never placed in the layout would
// be in the settings text and the report and nowhere in the window.
TEST_F(WindowFixture, EverySettingOfThePageHasAControl) {
  ForEveryShownPage([&](SettingsPage* page) {
    QSet<QString> controlled;
    for (const ControlRow& row : page->Rows()) controlled.insert(row.Key());
    for (const FieldBinding& binding : page->Model().Table()) {
      if (binding.form.kind == SettingKind::None) continue;
      EXPECT_TRUE(controlled.contains(binding.key)) << binding.key.toStdString();
    }
  });
}

TEST_F(WindowFixture, EnterStepsThroughThePageAndWrapsFromTheLastControl) {
  int pagesWithControls = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    const QList<QWidget*> order = page->TabOrder();
    if (order.size() < 2) return;
    ++pagesWithControls;
    order.first()->setFocus(Qt::TabFocusReason);
    PressEnter();
    EXPECT_EQ(QApplication::focusWidget(), order[1]) << Name(order[1]).toStdString();
    order.last()->setFocus(Qt::TabFocusReason);
    PressEnter();
    EXPECT_EQ(QApplication::focusWidget(), order.first()) << Name(order.first()).toStdString();
    EXPECT_TRUE(page->isAncestorOf(QApplication::focusWidget()));
  });
  EXPECT_GE(pagesWithControls, 2);  // the General page and the Basic page at least
}

// Each checked edit gets the first of these texts that its check rejects.
TEST_F(WindowFixture, EnterInAnEditHoldingARejectedTextIsAnsweredAsLeavingIt) {
  const QStringList candidates = {QString(),
                                  QStringLiteral("0"),
                                  QStringLiteral("7"),
                                  QStringLiteral("2097152"),
                                  QStringLiteral("99999999999"),
                                  QStringLiteral("x")};
  int checked = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      auto* edit = qobject_cast<QLineEdit*>(row.Widget());
      if (!row.HasCheck() || !edit || !edit->isEnabled() || edit->isReadOnly()) continue;
      const auto rejected =
          std::find_if(candidates.begin(), candidates.end(), [&row](const QString& text) { return !row.Passes(text); });
      if (rejected == candidates.end()) continue;
      SCOPED_TRACE(Name(edit).toStdString() + " holding '" + rejected->toStdString() + "'");
      ++checked;
      const PagerImage before = data.image;
      const int beeps = tones->played;
      edit->setFocus(Qt::TabFocusReason);
      edit->setText(*rejected);
      PressEnter();
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), row.Message());
      EXPECT_EQ(QApplication::focusWidget(), edit);
      EXPECT_EQ(tones->played, beeps + 1);
      EXPECT_EQ(data.image, before);  // nothing was stored
      page->ExchangeImage(Direction::Load);
    }
  });
  EXPECT_GE(checked, 2 * 8 + 1);  // the capcodes of both pages and the frequency
}

TEST_F(WindowFixture, HintFollowsTheMouseOverControlsAndNotOverTheBackground) {
  int hinted = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      QWidget* control = row.Widget();
      if (!control->isVisible() || !control->isEnabled()) continue;
      SCOPED_TRACE(Name(control).toStdString());
      // A check message is on the line; moving on the control brings its hint back, except on a
      // page without hints, which leaves the line as it is.
      const QString message = QStringLiteral("Value must be in range 1 to 3");
      window->ShowStatus(message);
      QTest::mouseMove(control, QPoint(control->width() / 2, control->height() / 2));
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), page->KeepsHintLine() ? message : row.HintText());
      if (!row.HintText().isEmpty()) ++hinted;
    }
    for (QLabel* label : page->findChildren<QLabel*>()) {
      if (!label->isVisible()) continue;
      SCOPED_TRACE(label->text().toStdString());
      window->ShowStatus(QStringLiteral("kept"));
      QTest::mouseMove(label, label->rect().center());
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "kept");
    }
    window->ShowStatus(QStringLiteral("kept"));
    QTest::mouseMove(page, QPoint(1, 1));
    EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "kept");
  });
  EXPECT_GE(hinted, 8 + 8 + 2 + 1);  // capcodes, two enabled Basic texts, the serial number
}

// A store takes what the user typed and leaves it in the edit: trailing blanks too, however
// many stores follow (a text padded to its field shows the padding). A text bound to the image
// keeps them there as well.
TEST_F(WindowFixture, TypedTrailingBlanksSurviveRepeatedStores) {
  const QString typed = QStringLiteral("Qz7  ");
  int texts = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      auto* edit = qobject_cast<QLineEdit*>(row.Widget());
      QString probe = typed;
      int at = 0;
      if (!edit || !row.HoldsText() || row.HasCheck() || edit->isReadOnly() ||
          (edit->validator() && edit->validator()->validate(probe, at) == QValidator::Invalid) ||
          edit->maxLength() < typed.size())
        continue;
      SCOPED_TRACE(Name(edit).toStdString());
      ++texts;
      const PagerImage before = data.image;
      edit->setText(typed);
      page->ExchangeImage(Direction::Store);
      const bool bound = data.image != before;
      page->ExchangeImage(Direction::Store);
      EXPECT_TRUE(edit->text().startsWith(typed)) << edit->text().toStdString();  // a fixed field pads it
      if (bound) {
        const QByteArray image(reinterpret_cast<const char*>(data.image.data()), int(data.image.size()));
        EXPECT_TRUE(image.contains(typed.toLatin1()));
      }
      data.image = before;
      page->ExchangeImage(Direction::Load);
    }
  });
  EXPECT_GE(texts, 4);  // the serial number and the Basic page's three texts
}

namespace {

// How much narrower than its text a widget is drawn; 0 when the text fits.
int Shortfall(QWidget* w) {
  const QFontMetrics metrics = w->fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || label->wordWrap()) return 0;
    return metrics.horizontalAdvance(label->text()) - label->contentsRect().width();
  }
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    if (box->text().isEmpty()) return 0;
    if (box->hasHeightForWidth()) return box->heightForWidth(box->width()) - box->height();  // wraps
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect text = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    return metrics.horizontalAdvance(box->text()) - text.width();
  }
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    if (button->text().isEmpty()) return 0;
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect text = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    return metrics.horizontalAdvance(QString(button->text()).remove(QLatin1Char('&'))) - text.width();
  }
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.editable = list->isEditable();
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    int widest = 0;
    for (int i = 0; i < list->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(list->itemText(i)));
    return widest - field.width();
  }
  return 0;
}

void ExpectNothingClipped(QWidget* root) {
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    const int shortfall = Shortfall(w);
    EXPECT_LE(shortfall, 0) << Name(w).toStdString() << " cuts its text by " << shortfall << " px";
    // Nor is a control cut by the edge of what holds it, unless that scrolls (the Tones page).
    if (!w->isWindow() && w->parentWidget() && !qobject_cast<QAbstractScrollArea*>(w->parentWidget()->parentWidget()))
      EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
          << Name(w).toStdString() << " at " << w->geometry().x() << "," << w->geometry().y() << " " << w->width()
          << "x" << w->height() << " leaves " << Name(w->parentWidget()).toStdString() << " "
          << w->parentWidget()->width() << "x" << w->parentWidget()->height();
  }
}

}  // namespace

TEST_F(WindowFixture, NoTextIsClippedOnAnyPageOrTheStatusLine) {
  for (const AdapterState state : {AdapterState::Absent, AdapterState::UsbPortOnly, AdapterState::Ready}) {
    window->ShowAdapterState(state);
    SCOPED_TRACE(window->StatusText(MainWindow::kAdapterPane).toStdString());
    ExpectNothingClipped(window.get());
  }
  ForEveryShownPage([&](SettingsPage* page) {
    ExpectNothingClipped(page);
    // Pane 1 carries the pages' hints and check messages.
    for (const ControlRow& row : page->Rows()) {
      for (const QString& text : {row.HintText(), row.Message(), UnencodableCharacterMessage(QStringLiteral("€"))}) {
        window->ShowStatus(text);
        ExpectNothingClipped(window.get());
      }
    }
  });
}

// However small the screen at the desktop's scale (at 200 % a 1920 x 1080 screen is 960 x 540),
// the window keeps to its work area with its buttons and status line whole, and every input of
// every page can be scrolled into sight, cut by nothing that holds it.
TEST_F(WindowFixture, EveryInputCanBeScrolledIntoSightOnTheScreen) {
  auto* area = window->findChild<PageArea*>();
  ASSERT_NE(area, nullptr);
  const QRect work = window->screen()->availableGeometry();
  const QRect frame = window->frameGeometry();
  std::cout << "screen " << window->screen()->geometry().width() << "x" << window->screen()->geometry().height()
            << " (work area " << work.width() << "x" << work.height() << ") at " << window->devicePixelRatio() * 100
            << " %: window " << window->minimumWidth() << "x" << window->minimumHeight() << " at least, framed "
            << frame.width() << "x" << frame.height() << "; the pages give up " << area->HeightGivenUp() << " px\n";
  EXPECT_TRUE(work.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
  for (int i = 0; i < MainWindow::kButtonCount; ++i)
    EXPECT_TRUE(window->rect().contains(window->Button(MainWindow::CommandButton(i))->geometry())) << i;
  for (QWidget* pane : {static_cast<QWidget*>(window->findChild<StatusLine*>()), static_cast<QWidget*>(area)})
    EXPECT_TRUE(window->rect().contains(pane->geometry())) << Name(pane).toStdString();
  int inputs = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      QWidget* control = row.Widget();
      if (!row.CarriesValue() || !control->isVisible()) continue;
      SCOPED_TRACE(Name(control).toStdString());
      ++inputs;
      // A page's own scrolling first, as Tab brings it into sight there; then the control takes the
      // focus as the user gives it, or is scrolled to.
      for (QWidget* holder = control->parentWidget(); holder != area; holder = holder->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(holder)) scroll->ensureWidgetVisible(control, 0, 0);
      if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus))
        control->setFocus(Qt::TabFocusReason);
      else
        area->ShowWhole(control);
      for (QWidget* holder = control->parentWidget(); holder && !holder->isWindow(); holder = holder->parentWidget()) {
        const QRect at(control->mapTo(holder, QPoint(0, 0)), control->size());
        EXPECT_TRUE(holder->rect().contains(at))
            << "cut by " << Name(holder).toStdString() << " " << holder->width() << "x" << holder->height() << " at "
            << at.x() << "," << at.y() << " " << at.width() << "x" << at.height() << " scrolled "
            << area->horizontalScrollBar()->value() << "/" << area->horizontalScrollBar()->maximum() << ", "
            << area->verticalScrollBar()->value() << "/" << area->verticalScrollBar()->maximum();
      }
      const QRect inWindow(control->mapTo(window.get(), QPoint(0, 0)), control->size());
      EXPECT_TRUE(window->rect().contains(inWindow));
    }
  });
  EXPECT_GE(inputs, 400);
}

// Texts are one byte per character. A character outside Latin-1 never gets into a text edit:
// typed it only beeps; a paste holding one is refused whole, naming it.
TEST_F(WindowFixture, ACharacterThePagerCannotHoldIsRefusedTypedOrPasted) {
  const QString outside[] = {QStringLiteral("€"), QStringLiteral("ł"), QStringLiteral("😀")};
  const QString kept = QStringLiteral("12");
  int edits = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      auto* edit = qobject_cast<QLineEdit*>(row.Widget());
      // Masked edits and digit edits take digits only, silently, as they always have.
      QString letter = QStringLiteral("x");
      int at = 0;
      if (!edit || !row.HoldsText() || !edit->isEnabled() || edit->isReadOnly() || !edit->isVisible() ||
          edit->metaObject()->indexOfSignal("Edited()") >= 0 ||
          (edit->validator() && edit->validator()->validate(letter, at) == QValidator::Invalid))
        continue;
      SCOPED_TRACE(Name(edit).toStdString());
      ++edits;
      edit->setFocus(Qt::TabFocusReason);
      for (const QString& character : outside) {
        SCOPED_TRACE(character.toStdString());
        edit->setText(kept);
        int beeps = tones->played;
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, character);
        QApplication::sendEvent(edit, &typed);
        EXPECT_EQ(edit->text(), kept);
        EXPECT_EQ(tones->played, beeps + 1);

        QApplication::clipboard()->setText(QStringLiteral("1") + character + QStringLiteral("2"));
        window->ShowStatus(QString());
        beeps = tones->played;
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), kept);
        EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), UnencodableCharacterMessage(character));
        EXPECT_EQ(tones->played, beeps + 1);
        window->ShowStatus(QString());
        edit->paste();  // the edit's own menu and the middle button paste this way
        EXPECT_EQ(edit->text(), kept);
        EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), UnencodableCharacterMessage(character));
      }
      page->ExchangeImage(Direction::Load);
    }
  });
  EXPECT_GE(edits, 3 + 3 + 9);  // the texts of the Basic and Display pages, the OTA commands at least
}

// Focus changes that are not the user's (another window taking the focus and giving it back)
// take nothing as accepted: a text refused on leaving goes back to the last valid one, not to
// whatever the edit held when the window came back.
TEST_F(WindowFixture, ARefusedTextIsNotAcceptedByTheWindowComingBack) {
  EnablePasswordCommand();
  QStringList covered;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      QLineEdit* edit = CheckedEdit(row);
      if (!edit || !row.RestoresOnReject()) continue;
      SCOPED_TRACE(Name(edit).toStdString());
      edit->setFocus(Qt::TabFocusReason);
      const QString accepted = edit->text();
      ASSERT_TRUE(row.Passes(accepted));
      covered << row.Key();
      edit->setText(*RejectedText(row));
      SwitchAwayAndBack(window.get());
      ASSERT_EQ(QApplication::focusWidget(), edit);
      const int beeps = tones->played;
      QTest::keyClick(edit, Qt::Key_Tab);
      EXPECT_EQ(edit->text(), accepted);
      EXPECT_EQ(QApplication::focusWidget(), edit);
      EXPECT_EQ(tones->played, beeps + 1);
      page->ExchangeImage(Direction::Store);
      page->ExchangeImage(Direction::Load);
      EXPECT_EQ(edit->text(), accepted);  // and that is what the image took
    }
  });
  EXPECT_TRUE(covered.contains(QStringLiteral("enablePasswordCommand"))) << covered.join(' ').toStdString();
  EXPECT_TRUE(covered.contains(QStringLiteral("voltageHigh"))) << covered.join(' ').toStdString();
}

namespace {

// A route by which a store reaches the pages, and how to tell that it went no further.
struct StoreRoute {
  const char* name;
  bool advancedOnly;
  std::function<void(MainWindow&)> take;
};

}  // namespace

// Whatever leads to a store while an edit holds a text its check refuses, the user gets that
// edit's message, the beep and the focus, and the operation stops, as leaving the edit would.
// The window took the focus away and gave it back first, so no leaving has checked the text.
TEST_F(WindowFixture, NoStoreRouteDropsARefusedTextWithoutAWord) {
  EnablePasswordCommand();
  const StoreRoute routes[] = {
      {"Save by its shortcut", false, [](MainWindow& w) { QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier); }},
      {"Save by a click", false,
       [](MainWindow& w) { QTest::mouseClick(w.Button(MainWindow::kSaveButton), Qt::LeftButton); }},
      {"Write", false, [](MainWindow& w) { w.WriteCommand(); }},
      {"Print", false, [](MainWindow& w) { w.PrintCommand(); }},
      {"another tab", true,
       [](MainWindow& w) {
         auto* strip = w.findChild<TabStrip*>();
         const int other = strip->CurrentIndex() == 0 ? 1 : 0;
         QTest::mouseClick(strip, Qt::LeftButton, {}, strip->TabRect(other).center());
       }},
      {"basic mode", true,
       [](MainWindow& w) { QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier); }},
  };
  int pages = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    const auto row = std::find_if(page->Rows().begin(), page->Rows().end(),
                                  [](const ControlRow& r) { return CheckedEdit(r) != nullptr; });
    if (row == page->Rows().end()) return;
    ++pages;
    QLineEdit* edit = CheckedEdit(*row);
    const QString rejected = *RejectedText(*row);
    auto* strip = window->findChild<TabStrip*>();
    page->ExchangeImage(Direction::Store);  // what a store of the valid values writes is in place
    const PagerImage before = data.image;
    for (const StoreRoute& route : routes) {
      if (route.advancedOnly && window->Mode() != DisplayMode::Advanced) continue;
      SCOPED_TRACE(Name(edit).toStdString() + " holding '" + rejected.toStdString() + "', " + route.name);
      edit->setFocus(Qt::TabFocusReason);
      edit->setText(rejected);
      SwitchAwayAndBack(window.get());
      window->ShowStatus(QStringLiteral("kept"));
      const int beeps = tones->played;
      const int asked = dialogs->asked;
      const int tab = strip->CurrentIndex();
      const DisplayMode mode = window->Mode();
      bool dialogOpened = false;
      QTimer closeDialogs;  // a print dialog that should not have opened is closed again
      QObject::connect(&closeDialogs, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
          dialogOpened = true;
          modal->close();
        }
      });
      closeDialogs.start(50);
      route.take(*window);
      // A shortcut's click comes a moment later; each route ends in a beep or a dialog, and the
      // checks below tell which.
      (void)QTest::qWaitFor([&] { return tones->played > beeps || dialogs->asked > asked; }, 1000);
      closeDialogs.stop();
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane),
                row->Message().isEmpty() ? QStringLiteral("kept") : row->Message());
      EXPECT_EQ(tones->played, beeps + 1);
      EXPECT_EQ(QApplication::focusWidget(), edit);
      EXPECT_EQ(dialogs->asked, asked);
      EXPECT_FALSE(dialogOpened);
      EXPECT_EQ(strip->CurrentIndex(), tab);
      EXPECT_EQ(window->Mode(), mode);
      EXPECT_EQ(data.image, before);
    }
    page->ExchangeImage(Direction::Load);
  });
  EXPECT_GE(pages, 4);  // the Basic, General, Display, Over The Air and Cadence pages have checks
}
