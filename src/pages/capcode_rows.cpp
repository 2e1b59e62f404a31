#include "pages/capcode_rows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "pages/settings_page.h"

namespace m84 {

namespace {

constexpr int kMargin = 4;
constexpr int kSpacing = 2;
constexpr int kCapcodeEditWidth = 66;
constexpr int kFrameEditWidth = 22;

// Grid columns; the Private column stays empty on a page without it.
enum Column { kNumberColumn, kPrivateColumn, kEnableColumn, kCapcodeColumn, kStepColumn, kFrameColumn };

QLineEdit* FrameEdit() {
  auto* edit = new QLineEdit;
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setAlignment(Qt::AlignCenter);
  edit->setFixedWidth(kFrameEditWidth);
  return edit;
}

// The first caption spans the columns it names; those columns are as wide as its words.
void AddCaptions(QGridLayout* grid, PrivateColumn column) {
  const QFontMetrics metrics(grid->parentWidget()->font());
  grid->setColumnMinimumWidth(kEnableColumn, metrics.horizontalAdvance(QStringLiteral("Enable ")));
  if (column == PrivateColumn::Shown) {
    grid->setColumnMinimumWidth(kPrivateColumn, metrics.horizontalAdvance(QStringLiteral("Private ")));
    grid->addWidget(new QLabel(QStringLiteral("Private   Enable   Capcode")), 0, kPrivateColumn, 1, 3);
  } else {
    grid->setColumnMinimumWidth(kNumberColumn, metrics.horizontalAdvance(QStringLiteral("Number ")));
    grid->addWidget(new QLabel(QStringLiteral("Number   Enable   Capcode")), 0, kNumberColumn, 1, 4);
  }
  grid->addWidget(new QLabel(QStringLiteral("   Auto Increment")), 0, kStepColumn);
  grid->addWidget(new QLabel(QStringLiteral("Frame")), 0, kFrameColumn);
}

}  // namespace

QGroupBox* BuildCapcodeFrame(PrivateColumn column, CapcodeRows& rows) {
  auto* frame = new QGroupBox(QStringLiteral(" Capcodes "));
  auto* grid = new QGridLayout(frame);
  grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  grid->setSpacing(kSpacing);
  grid->setHorizontalSpacing(kSpacing * 2);
  AddCaptions(grid, column);

  auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), frame);
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    CapcodeRow& r = rows[size_t(row)];
    r.enableBox = new QCheckBox;
    r.capcode = new QLineEdit;
    r.capcode->setAlignment(Qt::AlignCenter);
    r.capcode->setValidator(digits);
    r.capcode->setFixedWidth(kCapcodeEditWidth);
    r.step = new QComboBox;
    r.step->addItems(kAutoIncrementEntries);
    r.frame = FrameEdit();

    const int line = row + 1;
    auto* number = new QLabel(QString::number(row + 1));
    grid->addWidget(number, line, kNumberColumn, column == PrivateColumn::Shown ? Qt::Alignment() : Qt::AlignHCenter);
    if (column == PrivateColumn::Shown) {
      r.privateBox = new QCheckBox;
      r.privateBox->setObjectName(capcode_key::Private(row));
      grid->addWidget(r.privateBox, line, kPrivateColumn, Qt::AlignHCenter);
    }
    // Under their captions, and no wider than the box, so that a click beside it does not go astray.
    grid->addWidget(r.enableBox, line, kEnableColumn, Qt::AlignHCenter);
    grid->addWidget(r.capcode, line, kCapcodeColumn);
    grid->addWidget(r.step, line, kStepColumn, Qt::AlignHCenter);
    grid->addWidget(r.frame, line, kFrameColumn);

    r.enableBox->setObjectName(capcode_key::Enable(row));
    r.capcode->setObjectName(capcode_key::Capcode(row));
    r.step->setObjectName(capcode_key::Step(row));
    r.frame->setObjectName(capcode_key::Frame(row));
  }
  return frame;
}

void FollowCapcodeRows(SettingsPage& page, const CapcodeRows& rows, std::function<void()> updateEnables) {
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const CapcodeRow& r = rows[size_t(row)];
    QObject::connect(r.enableBox, &QCheckBox::clicked, &page, [&page, updateEnables] {
      page.TakeControls();
      updateEnables();
      page.ShowValues();
    });
    QLineEdit* edit = r.capcode;
    QObject::connect(edit, &QLineEdit::textEdited, &page, [&page, edit, row] {
      if (!CheckCapcodeText(edit->text())) return;
      page.TakeControls();
      PageValues& values = page.Model().Values();
      values.Set(capcode_key::Frame(row), CapcodeFrame(values.Number(capcode_key::Capcode(row))));
      page.ShowValues();
    });
  }
}

void EnableCapcodeEdits(const CapcodeRows& rows, const PageValues& values) {
  for (int row = 0; row < kCapcodeRowCount; ++row)
    rows[size_t(row)].capcode->setEnabled(values.Flag(capcode_key::Enable(row)));
}

int CapcodeRowOf(const CapcodeRows& rows, const QObject* control) {
  for (int row = 0; row < kCapcodeRowCount; ++row)
    if (rows[size_t(row)].capcode == control) return row;
  return -1;
}

}  // namespace m84
