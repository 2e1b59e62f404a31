// What every page inherits from the page framework, checked on every page the main window
// creates, in both modes: Enter steps and wraps inside the page, a rejected text on Enter is
// answered as leaving, hints follow the mouse, typed blanks survive stores, nothing is clipped.
// A new page is covered as soon as the window creates it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QValidator>

#include "ui/main_window.h"
#include "ui/tab_strip.h"
#include "widget_fixtures.h"

using namespace m84;
using widget_test::Activate;

namespace {

struct RecordingTones : TonePlayer {
  int played = 0;
  void Play(const std::vector<ToneStep>&) override { ++played; }
};

struct ShownPage {
  QString name;  // for the trace
  SettingsPage* page;
};

struct WindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    window = std::make_unique<MainWindow>(data, WindowOptions{nullptr, tones, QStringLiteral("/nonexistent/port")});
    ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  }

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
  const QStringList candidates = {QString(), QStringLiteral("0"), QStringLiteral("7"), QStringLiteral("2097152"),
                                  QStringLiteral("99999999999"), QStringLiteral("x")};
  int checked = 0;
  ForEveryShownPage([&](SettingsPage* page) {
    for (const ControlRow& row : page->Rows()) {
      auto* edit = qobject_cast<QLineEdit*>(row.Widget());
      if (!row.HasCheck() || !edit || !edit->isEnabled() || edit->isReadOnly()) continue;
      const auto rejected = std::find_if(candidates.begin(), candidates.end(),
                                         [&row](const QString& text) { return !row.Passes(text); });
      if (rejected == candidates.end()) continue;
      SCOPED_TRACE(Name(edit).toStdString() + " holding '" + rejected->toStdString() + "'");
      ++checked;
      const PagerImage before = data.image;
      const int beeps = tones->played;
      edit->setFocus(Qt::TabFocusReason);
      edit->setText(*rejected);
      PressEnter();
      EXPECT_EQ(window->StatusText(1), row.Message());
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
      EXPECT_EQ(window->StatusText(1), page->KeepsHintLine() ? message : row.HintText());
      if (!row.HintText().isEmpty()) ++hinted;
    }
    for (QLabel* label : page->findChildren<QLabel*>()) {
      if (!label->isVisible()) continue;
      SCOPED_TRACE(label->text().toStdString());
      window->ShowStatus(QStringLiteral("kept"));
      QTest::mouseMove(label, label->rect().center());
      EXPECT_EQ(window->StatusText(1), "kept");
    }
    window->ShowStatus(QStringLiteral("kept"));
    QTest::mouseMove(page, QPoint(1, 1));
    EXPECT_EQ(window->StatusText(1), "kept");
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
      if (!edit || !row.HoldsText() || row.HasCheck() || edit->isReadOnly() || edit->validator() ||
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
  }
}

}  // namespace

TEST_F(WindowFixture, NoTextIsClippedOnAnyPageOrTheStatusLine) {
  for (const AdapterState state : {AdapterState::Absent, AdapterState::UsbPortOnly, AdapterState::Ready}) {
    window->ShowAdapterState(state);
    SCOPED_TRACE(window->StatusText(3).toStdString());
    ExpectNothingClipped(window.get());
  }
  ForEveryShownPage([&](SettingsPage* page) {
    ExpectNothingClipped(page);
    // Pane 1 carries the pages' hints and check messages.
    for (const ControlRow& row : page->Rows()) {
      for (const QString& text : {row.HintText(), row.Message()}) {
        window->ShowStatus(text);
        ExpectNothingClipped(window.get());
      }
    }
  });
}
