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
  QComboBox* language = List(kLanguage);
  auto* languageRow = new QHBoxLayout;
  languageRow->addWidget(CaptionLabel(kLanguage));
  languageRow->addWidget(language);
  static_cast<QVBoxLayout*>(frame->layout())->addLayout(languageRow);
  Declare(Control(kLanguage, language).OnClick([this](PageValues& values) { RefuseDanish(values); }));

  Place(frame->layout(), kConfirmBeep);

  // The password edit is part of the page but never shown; it still carries its value.
  QCheckBox* passwordEnabled = CheckBox(kReadingPasswordEnabled);
  QLineEdit* password = DigitsEdit(kReadingPasswordLength);
  password->hide();
  auto* passwordRow = new QHBoxLayout;
  passwordRow->addWidget(passwordEnabled);
  passwordRow->addWidget(password);
  passwordRow->addStretch();
  static_cast<QVBoxLayout*>(frame->layout())->addLayout(passwordRow);
  Declare(Control(kReadingPasswordEnabled, passwordEnabled));
  Declare(Control(kReadingPassword, password));

  for (const QString& key : {kDeleteProtected, kErrorDeduction, kErrorIcon}) Place(frame->layout(), key);
  return frame;
}

QWidget* NameMiscPageWidget::BuildUserMenuFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" User menu option "));
  for (const UserMenuOption& option : kUserMenuOptions) Place(frame->layout(), QString::fromLatin1(option.key));
  return frame;
}

QWidget* NameMiscPageWidget::BuildToneTextFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Text replacement for tone only messages "));
  frame->setLayout(grid);
  Compact(grid);
  QCheckBox* replace = CheckBox(kReplaceToneOnly);
  grid->addWidget(replace, 0, 0, 1, 2);
  Declare(Control(kReplaceToneOnly, replace));
  for (int i = 0; i < kToneTextCount; ++i) Place(grid, ToneText(i), i + 1, 0);
  return frame;
}

QWidget* NameMiscPageWidget::BuildBackLightFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Back light option  "));
  frame->setLayout(grid);
  Compact(grid);
  int at = 0;
  for (const QString& key : {kHoldTime, kControlOption}) {
    QComboBox* list = List(key);
    grid->addWidget(CaptionLabel(key), at, 0);
    grid->addWidget(list, at++, 1);
    Declare(Control(key, list));
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
