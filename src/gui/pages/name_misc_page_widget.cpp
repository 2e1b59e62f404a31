#include "gui/pages/name_misc_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace name_misc_key;

QLineEdit* DigitsEdit(int maxLength) {
  QLineEdit* edit = TextEdit(maxLength);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  return edit;
}

}  // namespace

NameMiscPageWidget::NameMiscPageWidget(NameMiscPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  auto* left = new QVBoxLayout;
  left->setSpacing(kControlSpacing * 2);
  left->addWidget(BuildMiscellaneousFrame());
  left->addWidget(BuildBackLightFrame());
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->setSpacing(kControlSpacing * 2);
  right->addWidget(BuildUserMenuFrame());
  right->addWidget(BuildToneTextFrame());
  right->addStretch();

  auto* page = new QHBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addLayout(left);
  page->addLayout(right);
}

QWidget* NameMiscPageWidget::BuildMiscellaneousFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Miscellaneous "));
  auto* language = ListOf(kLanguageEntries);
  auto* languageRow = new QHBoxLayout;
  languageRow->addWidget(new QLabel(QStringLiteral("Select display language")));
  languageRow->addWidget(language);
  static_cast<QVBoxLayout*>(frame->layout())->addLayout(languageRow);
  Declare(Control(kLanguage, language).OnClick([this](PageValues& values) { RefuseDanish(values); }));

  auto* confirmBeep = new QCheckBox(QStringLiteral("Enable confirmation short beep"));
  frame->layout()->addWidget(confirmBeep);
  Declare(Control(kConfirmBeep, confirmBeep));

  // The password edit is part of the page but never shown; it still carries its value.
  auto* passwordEnabled = new QCheckBox(QStringLiteral("Enable MSG reading password "));
  QLineEdit* password = DigitsEdit(kReadingPasswordLength);
  password->hide();
  auto* passwordRow = new QHBoxLayout;
  passwordRow->addWidget(passwordEnabled);
  passwordRow->addWidget(password);
  passwordRow->addStretch();
  static_cast<QVBoxLayout*>(frame->layout())->addLayout(passwordRow);
  Declare(Control(kReadingPasswordEnabled, passwordEnabled));
  Declare(Control(kReadingPassword, password).EnabledWhen(ReadingPasswordEditEnabled));

  const std::pair<QString, const char*> boxes[] = {{kDeleteProtected, "Delete protected message"},
                                                   {kErrorDeduction, "Enable error MSG deduction"},
                                                   {kErrorIcon, "Enable error MSG icon"}};
  for (const auto& [key, label] : boxes) {
    auto* box = new QCheckBox(QString::fromLatin1(label));
    frame->layout()->addWidget(box);
    Declare(Control(key, box));
  }
  return frame;
}

QWidget* NameMiscPageWidget::BuildUserMenuFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" User menu option "));
  for (const UserMenuOption& option : kUserMenuOptions) {
    auto* box = new QCheckBox(QString::fromLatin1(option.label));
    frame->layout()->addWidget(box);
    Declare(Control(QString::fromLatin1(option.key), box));
  }
  return frame;
}

QWidget* NameMiscPageWidget::BuildToneTextFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Text replacement for tone only messages "));
  frame->setLayout(grid);
  Compact(grid);
  auto* replace = new QCheckBox(QStringLiteral("Replace Tone Only MSG with user TEXT"));
  grid->addWidget(replace, 0, 0, 1, 2);
  Declare(Control(kReplaceToneOnly, replace));
  for (int i = 0; i < kToneTextCount; ++i) {
    QLineEdit* text = TextEdit(kToneTextLength);
    grid->addWidget(new QLabel(QStringLiteral("Tone ") + QChar('A' + i)), i + 1, 0);
    grid->addWidget(text, i + 1, 1);
    Declare(Control(ToneText(i), text).Hint(kToneTextHint).EnabledWhen(ToneTextsEnabled));
  }
  return frame;
}

QWidget* NameMiscPageWidget::BuildBackLightFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Back light option  "));
  frame->setLayout(grid);
  Compact(grid);
  struct ListRow {
    QString key;
    const char* label;
    const QStringList& entries;
  };
  const ListRow rows[] = {{kHoldTime, "Back light hold time", kHoldTimeEntries},
                          {kControlOption, "Back light control option", kControlOptionEntries}};
  int at = 0;
  for (const ListRow& row : rows) {
    auto* list = ListOf(row.entries);
    grid->addWidget(new QLabel(QString::fromLatin1(row.label)), at, 0);
    grid->addWidget(list, at++, 1);
    Declare(Control(row.key, list));
  }
  return frame;
}

void NameMiscPageWidget::RefuseDanish(PageValues& values) {
  if (!RefuseUnstorableLanguage(values, Data().image)) return;
  ShowValues();
  Host().ShowStatus(kDanishRefusedMessage);
  Host().Sound(Beep::Error);
}

}  // namespace m84
