#include "pages/general_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "pages/capcode.h"
#include "pages/delayed_tips.h"
#include "pages/field_codecs.h"
#include "pages/frequency_edit.h"

namespace m84 {

namespace {

using namespace general_key;

constexpr int kTipDelayMs = 100;
constexpr int kMargin = 4;
constexpr int kSpacing = 2;
constexpr int kTimeEditWidth = 30;
constexpr int kReceiverFieldWidth = 80;
// Rows whose Private box the user may change: the public capcodes 4, 5 and 6.
constexpr bool kPrivateEditable[kCapcodeRowCount] = {false, false, false, true, true, true, false, false};

const QString kKeepSerialText = QStringLiteral("Don't write Serial Number         (Keep existing)");

// A check box whose text wraps onto further lines in a narrow column, as the long "Keep
// existing" text needs; clicking anywhere on it toggles it. It is as wide as the given first line.
class WrappingCheckBox : public QCheckBox {
 public:
  WrappingCheckBox(const QString& text, const QString& firstLine) : QCheckBox(text), firstLine_(firstLine) {
    setMaximumWidth(sizeHint().width());
  }

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override {
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - TextIndent()), 10000),
                                                  Qt::TextWordWrap, this->text());
    return std::max(text.height(), style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this));
  }
  QSize sizeHint() const override {
    const int width = TextIndent() + fontMetrics().horizontalAdvance(firstLine_);
    return {width, heightForWidth(width)};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    painter.drawItemText(rect().adjusted(TextIndent(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                         palette(), isEnabled(), text(), QPalette::WindowText);
  }
  bool hitButton(const QPoint& position) const override { return rect().contains(position); }

 private:
  int TextIndent() const {
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
           style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
  }

  QString firstLine_;
};

QLineEdit* ReadOnlyEdit(int width) {
  auto* edit = new QLineEdit;
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setAlignment(Qt::AlignCenter);
  edit->setFixedWidth(width);
  return edit;
}

QComboBox* List(const QStringList& entries) {
  auto* list = new QComboBox;
  list->addItems(entries);
  return list;
}

void Compact(QLayout* layout) {
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->setSpacing(kSpacing);
}

}  // namespace

GeneralPageWidget::GeneralPageWidget(GeneralPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), general_(model), tips_(new DelayedTips(kTipDelayMs, this)) {
  auto* top = new QHBoxLayout;
  top->setSpacing(kSpacing * 2);
  top->addWidget(BuildCapcodeFrame(PrivateColumn::Shown, rows_), 0, Qt::AlignTop);
  auto* side = new QVBoxLayout;
  side->setSpacing(kSpacing * 2);
  side->addWidget(BuildReceiverFrame());
  side->addWidget(BuildManagementFrame());
  side->addStretch();
  top->addLayout(side);
  top->addStretch();

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addLayout(top);
  page->addStretch();
  page->addLayout(BuildLockedRow());

  SetUpCapcodeRows();
  BindControls();
  ConnectHandlers();
  UpdateEnables();
}

void GeneralPageWidget::SetUpCapcodeRows() {
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SetHint(rows_[size_t(row)].capcode, kCapcodeHint);
    tips_->Add(rows_[size_t(row)].capcode, CapcodeTip(row));
  }
}

QWidget* GeneralPageWidget::BuildReceiverFrame() {
  auto* frame = new QGroupBox;
  auto* grid = new QGridLayout(frame);
  Compact(grid);

  serial_ = new QLineEdit;
  serial_->setMaxLength(kSerialSize);
  serial_->setFixedWidth(kReceiverFieldWidth);
  keepSerial_ = new WrappingCheckBox(kKeepSerialText, QStringLiteral("Don't write Serial Number "));
  keepSerial_->setChecked(true);
  frequency_ = new FrequencyEdit;
  frequency_->setFixedWidth(kReceiverFieldWidth);
  band_ = ReadOnlyEdit(kReceiverFieldWidth);
  baudRate_ = List(kBaudRateEntries);
  polarity_ = List(kPolarityEntries);

  grid->addWidget(new QLabel(QStringLiteral("Serial Number")), 0, 0);
  grid->addWidget(serial_, 0, 1);
  grid->addWidget(keepSerial_, 1, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Frequency")), 2, 0);
  grid->addWidget(frequency_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("MHz")), 2, 2);
  grid->addWidget(new QLabel(QStringLiteral("Frequency Band")), 3, 0);
  grid->addWidget(band_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("BaudRate")), 4, 0);
  grid->addWidget(baudRate_, 4, 1);
  grid->addWidget(new QLabel(QStringLiteral("POCSAG Polarity")), 5, 0);
  grid->addWidget(polarity_, 5, 1);

  serial_->setObjectName(kSerial);
  keepSerial_->setObjectName(kKeepSerial);
  frequency_->setObjectName(kFrequency);
  band_->setObjectName(kBand);
  baudRate_->setObjectName(kBaudRate);
  polarity_->setObjectName(kPolarity);
  SetHint(serial_, kSerialHint);
  tips_->Add(frequency_, kFrequencyTip);
  return frame;
}

QWidget* GeneralPageWidget::BuildManagementFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Capcode Management "));
  auto* layout = new QHBoxLayout(frame);
  Compact(layout);
  increment_ = new QPushButton(QStringLiteral("Manually Increment"));
  increment_->setAutoDefault(false);
  increment_->setObjectName(QStringLiteral("manuallyIncrement"));
  layout->addWidget(increment_);
  return frame;
}

QLayout* GeneralPageWidget::BuildLockedRow() {
  bumpTime_ = new QLineEdit;
  bsTime_ = new QLineEdit;
  pllDevice_ = List(kPllDeviceEntries);
  auto* row = new QHBoxLayout;
  row->setSpacing(kSpacing * 2);
  const std::array<std::pair<const char*, QWidget*>, 3> controls = {
      {{"Bump Time", bumpTime_}, {"BS Time", bsTime_}, {"PLL Device", pllDevice_}}};
  for (const auto& [label, control] : controls) {
    row->addWidget(new QLabel(QString::fromLatin1(label)));
    row->addWidget(control);
    control->setEnabled(false);
    // A disabled control takes no mouse input of its own; the page watches it for the unlock.
    control->installEventFilter(this);
  }
  bumpTime_->setFixedWidth(kTimeEditWidth);
  bsTime_->setFixedWidth(kTimeEditWidth);
  row->addStretch();
  bumpTime_->setObjectName(kBumpTime);
  bsTime_->setObjectName(kBsTime);
  pllDevice_->setObjectName(kPllDevice);
  return row;
}

void GeneralPageWidget::BindControls() {
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const CapcodeRow& r = rows_[size_t(row)];
    Bind(capcode_key::Private(row), r.privateBox);
    Bind(capcode_key::Enable(row), r.enableBox);
    BindNumber(capcode_key::Capcode(row), r.capcode);
    Bind(capcode_key::Step(row), r.step);
    BindNumber(capcode_key::Frame(row), r.frame);
  }
  Bind(kSerial, serial_);
  Bind(kKeepSerial, keepSerial_);
  Bind(kFrequency, frequency_);
  Bind(kBand, band_);
  Bind(kBaudRate, baudRate_);
  Bind(kPolarity, polarity_);
  BindNumber(kBumpTime, bumpTime_);
  BindNumber(kBsTime, bsTime_);
  Bind(kPllDevice, pllDevice_);
}

void GeneralPageWidget::ConnectHandlers() {
  FollowCapcodeRows(*this, rows_, [this] { UpdateEnables(); });
  for (const CapcodeRow& r : rows_) r.capcode->installEventFilter(this);
  connect(serial_, &QLineEdit::textEdited, this, &GeneralPageWidget::TakeControls);
  connect(frequency_, &FrequencyEdit::Edited, this, &GeneralPageWidget::OnFrequencyEdited);
  connect(increment_, &QPushButton::clicked, this, &GeneralPageWidget::OnManuallyIncrement);
  for (QWidget* edit : {static_cast<QWidget*>(serial_), static_cast<QWidget*>(frequency_)}) edit->installEventFilter(this);
}

bool GeneralPageWidget::KeepSerialNumber() const { return !general_.Loaded() || keepSerial_->isChecked(); }

void GeneralPageWidget::UpdateEnables() {
  EnableCapcodeEdits(rows_, Values());
  for (int row = 0; row < kCapcodeRowCount; ++row)
    if (!kPrivateEditable[row]) rows_[size_t(row)].privateBox->setEnabled(false);
}

void GeneralPageWidget::OnFrequencyEdited() {
  TakeControls();
  general_.UpdateLiveBand();
  ShowValues();
}

void GeneralPageWidget::OnManuallyIncrement() {
  TakeControls();
  ManuallyIncrement(Values());
  ShowValues();
}

bool GeneralPageWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && IsUserFocusChange(event) && !checking_) {
    // A failed check gives the focus back, which reports another focus change; that one is no
    // user's leaving.
    checking_ = true;
    CheckLeftEdit(watched);
    checking_ = false;
  } else if (event->type() == QEvent::MouseButtonDblClick) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton && UnlockAt(mouse->globalPosition().toPoint())) return true;
  }
  return SettingsPage::eventFilter(watched, event);
}

void GeneralPageWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && UnlockAt(event->globalPosition().toPoint())) {
    event->accept();
    return;
  }
  SettingsPage::mouseDoubleClickEvent(event);
}

void GeneralPageWidget::CheckLeftEdit(QObject* edit) {
  if (const int row = CapcodeRowOf(rows_, edit); row >= 0) return CheckCapcode(row);
  if (edit == frequency_) return CheckFrequency();
  if (edit == serial_) return LeaveSerialNumber();
  if (edit == bumpTime_) return CheckTime(bumpTime_, kBumpTimeMessage);
  if (edit == bsTime_) return CheckTime(bsTime_, kBsTimeMessage);
}

// The variables follow the controls, so a rejected number stays in the edit until it is mended.
void GeneralPageWidget::CheckCapcode(int row) {
  TakeControls();
  QLineEdit* edit = rows_[size_t(row)].capcode;
  if (!CheckCapcodeText(edit->text())) RejectEdit(edit, kCapcodeRangeMessage);
}

void GeneralPageWidget::CheckFrequency() {
  TakeControls();
  if (!general_.CheckFrequency()) return RejectEdit(frequency_, kFrequencyErrorMessage);
  ShowValues();  // the band the check found, before the store takes the controls again
  ExchangeImage(Direction::Store);
}

void GeneralPageWidget::LeaveSerialNumber() {
  TakeControls();
  general_.PadSerialNumber();
  ShowValues();
  ExchangeImage(Direction::Store);
}

void GeneralPageWidget::CheckTime(QLineEdit* edit, const QString& message) {
  TakeControls();
  if (CheckDecimalRange(edit->text(), kTimeMin, kTimeMax))
    ExchangeImage(Direction::Store);
  else
    RejectEdit(edit, message);
}

bool GeneralPageWidget::UnlockAt(const QPoint& globalPosition) {
  for (QWidget* control : {static_cast<QWidget*>(bumpTime_), static_cast<QWidget*>(bsTime_),
                           static_cast<QWidget*>(pllDevice_)}) {
    const QRect screenRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    if (control->isEnabled() || !screenRect.contains(globalPosition)) continue;
    TakeControls();
    control->setEnabled(true);
    control->show();
    control->setFocus(Qt::MouseFocusReason);
    ShowValues();
    return true;
  }
  return false;
}

}  // namespace m84
