#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>
#include <cstdio>

#include "image/dat_file.h"
#include "link/binary_tools.h"
#include "link/memory_dump.h"
#include "link/serial_port.h"
#include "ui/pages/delayed_tips.h"
#include "ui/pages/general_page_widget.h"
#include "ui/pages/page_widgets.h"
#include "report/report_printer.h"
#include "ui/artwork.h"
#include "ui/firmware_status.h"
#include "ui/mouse_guard.h"
#include "ui/tab_strip.h"

namespace m84 {

const QString MainWindow::kTitle = QStringLiteral("Tarnwell M84 Pager Programming");

namespace {

const QColor kBackground(131, 156, 177);
constexpr int kDialogWidth = 351, kDialogHeight = 315;
constexpr int kStatusLineHeight = 26;
constexpr int kPaneTextRoom = 6;  // beside a pane's text, inside its frame
constexpr int kPageOffsetX = 5, kPageOffsetY = 76;
constexpr int kTabIndent = 10, kTabCut = 5;
constexpr int kButtonTipDelayMs = 2000;

struct ButtonSpec {
  const char* label;
  int x, y, w, h;
  const char* tip;
};
const ButtonSpec kButtons[] = {
    {"&Print", 9, 279, 54, 18, "Print setting status"},
    {"&Save", 79, 279, 54, 18, "Save data to a file"},
    {"&Load", 149, 279, 54, 18, "Load data from a file"},
    {"&Write", 219, 279, 54, 18, "Write data to a pager"},
    {"&Read", 288, 279, 54, 18, "Read data from a pager"},
};

struct PaneSpec {
  int width;
  const char* text;
};
// Pane 1 stretches; pane 0 shows the icon.
const PaneSpec kPanes[6] = {
    {30, ""}, {286, " Welcome to use M84 DPT "}, {150, "Progress"}, {23, "   "}, {30, "V1.18"}, {56, "    "},
};

QFont ArialPixels(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

const QString kDataFilter = QStringLiteral("Data File (*.DAT);;All File (*.*)");
// After the operation's own status text when the history could not keep it.
const QString kNotInHistoryText = QStringLiteral(" (no history record)");
const QString kLoadFilter = QStringLiteral("Data File(*.DAT);;All File(*.*)");

}  // namespace

MainWindow::MainWindow(PagerData& data, WindowOptions options, QWidget* parent)
    : QWidget(parent), data_(data), options_(std::move(options)), models_(data, DisplayMode::Basic) {
  if (!options_.dialogs) options_.dialogs = std::make_shared<QtFileDialogs>();
  if (!options_.tones) options_.tones = CreateAlsaTonePlayer();

  // Dialog units as Windows converts them: from the dialog font's average width and height.
  const QFontMetrics dialogFont(ArialPixels(13));
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  dluX_ = ((dialogFont.horizontalAdvance(alphabet) / 26 + 1) / 2) / 4.0;
  dluY_ = dialogFont.height() / 8.0;

  setWindowTitle(kTitle);
  setWindowIcon(ProgramIcon());
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  setPalette(palette);
  setFixedSize(qRound(kDialogWidth * dluX_), qRound(kDialogHeight * dluY_) + kStatusLineHeight);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  auto* banner = new Banner(this);
  banner->setGeometry(DialogRect(0, 0, 351, 52));

  port_ = std::make_unique<SerialPort>(AdapterPortName(options_.portName));
  if (options_.lineObserver) port_->SetObserver(options_.lineObserver.get());
  link_ = std::make_unique<AdapterLink>(*port_);

  CreatePages();
  CreateButtons();
  ExchangeAllPages(Direction::Load);
  CreateStatusLine();

  connect(&clock_, &QTimer::timeout, this, &MainWindow::OnTimerTick);
  clock_.start(1000);

  auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &MainWindow::ShowAbout);

  mouseGuard_ = new MouseGuard(
      [this] {
        SettingsPage* page = ShownTabPage();
        return !page || page->AcceptsLeftClick();
      },
      [this] { Sound(Beep::Error); }, this);
  mouseGuard_->SetKeyScope([this] { return ShownTabPage(); });
  CreateServiceCommands();

  // Progress and results of a firmware transfer arrive as events posted to the window.
  firmware_ = std::make_unique<FirmwareStatus>(FirmwareStatus::Sinks{
      [this](const QString& text) { ShowStatus(text); },
      [this](int percent) { SetProgress(percent * kProgressRange / 100); },
      [this] { link_->ClosePort(); }});
  installEventFilter(firmware_.get());
}

MainWindow::~MainWindow() = default;

QRect MainWindow::DialogRect(int x, int y, int w, int h) const {
  return QRect(qRound(x * dluX_), qRound(y * dluY_), qRound(w * dluX_), qRound(h * dluY_));
}

void MainWindow::CreatePages() {
  tabStrip_ = new TabStrip(this);
  tabStrip_->setGeometry(DialogRect(7, 56, 338, 219));
  for (const PageInfo& info : kTabPages)
    tabStrip_->AddTab(QString::fromLatin1(info.tabLabel), QString::fromLatin1(info.tabTip));
  tabStrip_->hide();
  tabStrip_->SetTabFont(ArialPixels(12));
  tabStrip_->LayoutTabs(kTabIndent, kTabCut);
  connect(tabStrip_, &TabStrip::CurrentChanged, this, &MainWindow::OnTabSelected);

  auto& basic = pages_[static_cast<size_t>(PageId::Basic)];
  basic = CreatePageWidget(models_.Page(PageId::Basic), data_, *this, this);
  basic->setGeometry(DialogRect(7, 56, 338, 219));
  basic->show();

  // The front card of the stacked rows is narrower than the strip by one indent per row behind it.
  const int rowsBehind = 2;
  const QSize pageSize(tabStrip_->width() - 2 * kPageOffsetX - rowsBehind * kTabIndent - 2,
                       tabStrip_->height() - kPageOffsetY - kPageOffsetX);
  for (const PageInfo& info : kTabPages) {
    SettingsPage* page = CreatePageWidget(models_.Page(info.id), data_, *this, tabStrip_);
    page->hide();
    page->setGeometry(QRect(QPoint(kPageOffsetX, kPageOffsetY), pageSize));
    pages_[static_cast<size_t>(info.id)] = page;
  }
}

// The service buttons "T", "RS" and "CF" of the window stay hidden: technicians reach their
// commands by these keys instead, in advanced mode only.
void MainWindow::CreateServiceCommands() {
  struct ServiceCommand {
    const char* keys;
    void (MainWindow::*run)();
  };
  const ServiceCommand commands[] = {
      {"Ctrl+Shift+T", &MainWindow::SwitchToBasicMode},     // "T"
      {"Ctrl+Shift+R", &MainWindow::MemoryDumpCommand},     // "RS"
      {"Ctrl+Shift+C", &MainWindow::BinaryCompareCommand},  // "CF"
  };
  for (const ServiceCommand& command : commands) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(command.keys)), this);
    connect(shortcut, &QShortcut::activated, this, command.run);
    serviceCommands_.push_back(shortcut);
  }
  SetServiceCommandsEnabled(false);
}

void MainWindow::SetServiceCommandsEnabled(bool enabled) {
  for (QShortcut* shortcut : serviceCommands_) shortcut->setEnabled(enabled);
}

void MainWindow::CreateButtons() {
  auto* tips = new DelayedTips(kButtonTipDelayMs, this);
  for (const ButtonSpec& spec : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(spec.label), this);
    button->setGeometry(DialogRect(spec.x, spec.y, spec.w, spec.h));
    button->setFont(ArialPixels(16, true));
    tips->Add(button, QString::fromLatin1(spec.tip));
    button->setAutoDefault(false);
  }
  Button("&Write")->setEnabled(false);
  Button("&Read")->setEnabled(false);
  connect(Button("&Load"), &QPushButton::clicked, this, &MainWindow::LoadDataFileCommand);
  connect(Button("&Save"), &QPushButton::clicked, this, &MainWindow::SaveDataFileCommand);
  connect(Button("&Print"), &QPushButton::clicked, this, &MainWindow::PrintCommand);
  connect(Button("&Read"), &QPushButton::clicked, this, &MainWindow::ReadCommand);
  connect(Button("&Write"), &QPushButton::clicked, this, &MainWindow::WriteCommand);
}

QPushButton* MainWindow::Button(const QString& label) const {
  for (QPushButton* button : findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly))
    if (button->text() == label) return button;
  return nullptr;
}

void MainWindow::CreateStatusLine() {
  auto* line = new QWidget(this);
  line->setGeometry(0, height() - kStatusLineHeight, width(), kStatusLineHeight);
  auto* layout = new QHBoxLayout(line);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  for (int i = 0; i < 6; ++i) {
    auto* pane = new QLabel(QString::fromLatin1(kPanes[i].text), line);
    pane->setFont(ArialPixels(12));
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The tabled widths suit the platform's small status font; a pane never cuts its own text.
    const int width =
        std::max(kPanes[i].width, pane->fontMetrics().horizontalAdvance(pane->text()) + 2 * pane->frameWidth() + kPaneTextRoom);
    pane->setMinimumWidth(width);
    if (i != 1) pane->setFixedWidth(width);
    layout->addWidget(pane, i == 1 ? 1 : 0);
    panes_[static_cast<size_t>(i)] = pane;
  }
  // Panes whose text changes are as wide as the widest text they show.
  const auto fitWidest = [](QLabel* pane, int tabled, const QStringList& texts) {
    int width = tabled;
    for (const QString& text : texts)
      width = std::max(width, pane->fontMetrics().horizontalAdvance(text) + 2 * pane->frameWidth() + kPaneTextRoom);
    pane->setFixedWidth(width);
  };
  fitWidest(panes_[3], kPanes[3].width,
            {AdapterStateText(AdapterState::Absent), AdapterStateText(AdapterState::UsbPortOnly),
             AdapterStateText(AdapterState::Ready)});
  fitWidest(panes_[5], kPanes[5].width, {QStringLiteral("00:00:00")});
  panes_[0]->setPixmap(ProgramIcon().pixmap(18, 18));
  panes_[0]->setAlignment(Qt::AlignCenter);
  progress_ = new QProgressBar(panes_[2]);
  progress_->setRange(0, kProgressRange);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setGeometry(panes_[2]->rect());
  progress_->setGeometry(0, 0, kPanes[2].width, kStatusLineHeight - 4);
}

QString MainWindow::StatusText(int pane) const { return panes_[static_cast<size_t>(pane)]->text(); }

void MainWindow::ShowStatus(const QString& text) { panes_[1]->setText(text); }

void MainWindow::Sound(Beep beep) { options_.tones->Play(TonesOf(beep)); }

void MainWindow::SetProgress(int position) { progress_->setValue(position); }

void MainWindow::ExchangeAllPages(Direction direction) {
  if (mode_ == DisplayMode::Basic) {
    Page(PageId::Basic)->ExchangeImage(direction);
    return;
  }
  for (const PageInfo& info : kTabPages) Page(info.id)->ExchangeImage(direction);
}

void MainWindow::OnTabSelected(int index) {
  for (const PageInfo& info : kTabPages) Page(info.id)->hide();
  ShowStatus(QString());
  ExchangeAllPages(Direction::Store);
  SettingsPage* page = Page(kTabPages[static_cast<size_t>(index)].id);
  page->show();
  page->setFocus();
  ExchangeAllPages(Direction::Load);
}

void MainWindow::SwitchToAdvancedMode() {
  Page(PageId::Basic)->ExchangeImage(Direction::Store);
  Page(PageId::Basic)->hide();
  tabStrip_->show();
  tabStrip_->SetCurrentIndex(TabIndexOf(PageId::General));
  for (const PageInfo& info : kTabPages) Page(info.id)->setVisible(info.id == PageId::General);
  Page(PageId::General)->setFocus();
  mode_ = DisplayMode::Advanced;
  models_.SetMode(mode_);
  ExchangeAllPages(Direction::Load);
  mouseGuard_->Install();
  SetServiceCommandsEnabled(true);
}

void MainWindow::RequestAdvancedMode() {
  if (mode_ == DisplayMode::Basic) SwitchToAdvancedMode();
}

SettingsPage* MainWindow::ShownTabPage() const {
  if (mode_ != DisplayMode::Advanced) return nullptr;
  for (const PageInfo& info : kTabPages)
    if (!Page(info.id)->isHidden()) return Page(info.id);
  return nullptr;
}

void MainWindow::SwitchToBasicMode() {
  ExchangeAllPages(Direction::Store);
  Page(PageId::Basic)->show();
  tabStrip_->hide();
  for (const PageInfo& info : kTabPages) Page(info.id)->hide();
  mode_ = DisplayMode::Basic;
  models_.SetMode(mode_);
  ExchangeAllPages(Direction::Load);
  mouseGuard_->Remove();
  SetServiceCommandsEnabled(false);
}

void MainWindow::LoadDataFileCommand() {
  const QString path = options_.dialogs->OpenFileName(this, QStringLiteral("Select Data File"), kLoadFilter);
  if (path.isEmpty()) return;
  if (LoadDataFile(path, data_, *this)) dataFile_ = path;
}

void MainWindow::SaveDataFileCommand() {
  const QString path = options_.dialogs->SaveFileName(this, QStringLiteral("Save Data File"), kDataFilter);
  if (path.isEmpty()) return;
  if (SaveDataFile(path, data_, *this)) dataFile_ = WithDefaultExtension(path, kDatExtension);
}

void MainWindow::PrintCommand() {
  PrintReport(this, mode_, [this](PageId id, ReportCursor& report) { Page(id)->PrintSection(report); });
}

void MainWindow::ReadCommand() {
  busy_ = true;
  const bool read = link_->ReadPager(data_, *this);
  KeepInHistory({HistoryOperation::Read, read, read ? &data_ : nullptr, std::nullopt, dataFile_});
  busy_ = false;
}

void MainWindow::WriteCommand() {
  busy_ = true;
  const bool verified = link_->WritePager(data_, *this);
  KeepInHistory({HistoryOperation::Write, verified, &data_, std::nullopt, dataFile_});
  busy_ = false;
}

// The operation's result stands whatever the history does; the status line only says that
// it is not recorded, and standard error why.
void MainWindow::KeepInHistory(const PagerTransfer& transfer) {
  if (!options_.history) return;
  const RecordResult kept = options_.history->Record(transfer, *link_);
  for (const QString& warning : kept.warnings) std::fprintf(stderr, "m84dpt: %s\n", warning.toLocal8Bit().constData());
  if (!kept.kept) ShowStatus(StatusText(1) + kNotInHistoryText);
}

void MainWindow::MemoryDumpCommand() {
  busy_ = true;  // the save dialog's own event loop must not run a presence check on the port
  MemoryDump(*link_, adapterReady_,
             [this](const QString& title) { return options_.dialogs->SaveFileName(this, title, kDumpFilter); },
             *this);
  busy_ = false;
}

void MainWindow::BinaryCompareCommand() {
  BinaryCompare([this](const QString& title) { return options_.dialogs->OpenFileName(this, title, kCompareFilter); },
                std::nullopt, *this);
}

bool MainWindow::KeepSerialNumber() {
  auto* general = qobject_cast<GeneralPageWidget*>(Page(PageId::General));
  return general ? general->KeepSerialNumber() : data_.selection.KeepSerial();
}

// Transfers hold the user-interface thread; the status line and the progress bar are painted
// at once instead, so no user input is taken meanwhile.
void MainWindow::Pump() {
  panes_[1]->repaint();
  progress_->repaint();
}

void MainWindow::CheckAdapterPresence() { ShowAdapterState(link_->PresenceCheck()); }

void MainWindow::ShowAdapterState(AdapterState state) {
  adapterReady_ = state == AdapterState::Ready;
  panes_[3]->setText(AdapterStateText(state));
  Button("&Write")->setEnabled(adapterReady_);
  Button("&Read")->setEnabled(adapterReady_);
}

void MainWindow::OnTimerTick() {
  panes_[5]->setText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")));
  if (!busy_) CheckAdapterPresence();
}

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    modal->raise();
    modal->activateWindow();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  ExchangeAllPages(Direction::Store);
  link_->ClosePort();
  event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return;  // Enter never closes the window
    default:
      QWidget::keyPressEvent(event);
  }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("&About M84DPT..."), this, &MainWindow::ShowAbout);
  menu.exec(event->globalPos());
}

void MainWindow::ShowAbout() {
  QDialog box(this);
  box.setWindowTitle(QStringLiteral("About M84DPT"));
  auto* layout = new QVBoxLayout(&box);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(&box);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  row->addWidget(icon);
  row->addWidget(new QLabel(QStringLiteral("M84 POCSAG Multi-Lingual Alphanumeric Pager DPT V1.17"), &box));
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

}  // namespace m84
