// Every setting the window or the settings text checks is checked the same way by both: for each
// probe text, the window takes it (the control holds it, its check on leaving and the page's
// guard pass; a list keeps the entry chosen) exactly when the settings text takes it for the
// same key.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSet>
#include <QValidator>
#include <memory>

#include "core/pages/page_catalog.h"
#include "core/pages/page_model.h"
#include "core/settings/setting_values.h"
#include "gui/pages/page_widgets.h"

using namespace m84;

namespace {

// Numbers in and out of every checked range, with blanks and signs; voltages; frequencies in
// and out of the bands and off the channel raster; command texts short, long, with letters in
// the password digits and with inner blanks; texts the edits cannot hold.
const char* const kProbes[] = {
    "",         " ",        "0",        "1",         "2",          "3",       "4",           "7",        "8",
    "13",       "60",       "61",       "63",        "64",         "255",     "256",         "-1",       "+5",
    "-0",       " 12 ",     "1 2",      "007",       "2097151",    "2097152", "99999999999", "0.89",     "0.90",
    "1.2",      "1.20",     "1.50",     "1.51",      ".95",        "1.",      "1,20",        "457.5750", "457.5700",
    "457.5755", "300.0000", "457",      "abc",       "12",         "123",     "1234",        "12345",    "AB12",
    "12AB",     "1A2B34",   "ABCD1234", "123456789", "1234567890", "12 3456", "  1234  ",    "RTVRTV",   "-123",
    "1234\t",
};

// The serial number's edit takes any characters, while the settings text takes digits only (the
// message it gives is the edit's hint); which of the two is meant is an open question.
const QString kOpenDisagreement = QStringLiteral("serial");

class QuietHost : public PageHost {
 public:
  void ShowStatus(const QString&) override {}
  void Sound(Beep) override {}
};

// Whether the window takes the text into this control of the page: the edit holds it whole,
// and the control's check on leaving and the page's guard pass. A control without a check of its
// own is checked by its validator as the user types (digits only).
bool WindowTakes(SettingsPage& page, const ControlRow& row, QLineEdit& edit, const QString& text) {
  const QString before = edit.text();
  edit.setText(text);
  bool takes = edit.text() == text;
  if (row.HasCheck()) {
    takes = takes && row.Passes(text);
  } else {
    QString copy = text;
    int position = 0;
    takes = takes && edit.validator()->validate(copy, position) == QValidator::Acceptable;
  }
  takes = takes && page.AcceptsLeftClick();
  edit.setText(before);
  return takes;
}

void ExpectSameVerdict(const PageInfo& info, const QString& key, const QString& probe, bool window,
                       const QString& refusal) {
  EXPECT_EQ(window, refusal.isEmpty())
      << info.tabLabel << " / " << qPrintable(key) << ": \"" << qPrintable(probe) << "\" the window "
      << (window ? "takes" : "refuses") << " it, the settings text "
      << (refusal.isEmpty() ? QStringLiteral("takes it") : QStringLiteral("says: ") + refusal).toStdString();
}

TEST(SettingVerdicts, WindowAndSettingsTextAgreeOnEveryCheckedSetting) {
  PagerData data;
  QuietHost host;
  QSet<QString> compared;
  for (const PageInfo& info : kTabPages) {
    std::unique_ptr<PageModel> model = CreatePageModel(info.id);
    std::unique_ptr<SettingsPage> page(CreatePageWidget(*model, data, host, nullptr));
    page->ExchangeImage(Direction::Load);
    for (const ControlRow& row : page->Rows()) {
      const FieldBinding* binding = model->Row(row.Key());
      if (!binding || binding->form.kind == SettingKind::None || row.Key() == kOpenDisagreement) continue;
      const SettingForm& form = binding->form;
      // A list whose entries are not all taken: each entry chosen as the user does.
      if (auto* list = qobject_cast<QComboBox*>(row.Widget()); list && form.accepts) {
        compared.insert(row.Key());
        for (int entry = 0; entry < list->count(); ++entry) {
          list->setCurrentIndex(entry);
          emit list->activated(entry);
          ExpectSameVerdict(info, row.Key(), list->itemText(entry), list->currentIndex() == entry,
                            TextRefusal(*binding, EntryWord(form.entries[entry])));
          page->ExchangeImage(Direction::Load);
        }
        continue;
      }
      auto* edit = qobject_cast<QLineEdit*>(row.Widget());
      if (!edit) continue;
      // A check the window runs (on leaving, as the page's guard, or the digits-only validator;
      // every other text edit refuses only what the pager cannot hold) or one the settings text
      // runs.
      const bool digitsOnly = edit->validator() && edit->validator()->inherits("QRegularExpressionValidator");
      const bool windowChecks = row.HasCheck() || row.HasGuard() || digitsOnly;
      const bool textChecks = form.accepts || form.guard || form.kind == SettingKind::Number;
      if (!windowChecks && !textChecks) continue;
      compared.insert(row.Key());
      for (const char* probe : kProbes) {
        const QString text = QString::fromLatin1(probe);
        ExpectSameVerdict(info, row.Key(), text, WindowTakes(*page, row, *edit, text), TextRefusal(*binding, text));
      }
    }
  }
  // Each kind of check the window runs is among them.
  for (const char* key :
       {"bumpTime", "bsTime", "frequency", "capcode0", "voltageHigh", "cadenceM0", "cadenceG12", "cadenceDuration5",
        "enablePasswordCommand", "turnOffCommand", "handPassword", "readingPassword", "language"})
    EXPECT_TRUE(compared.contains(QString::fromLatin1(key))) << key;
}

}  // namespace
