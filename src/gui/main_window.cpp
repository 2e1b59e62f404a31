#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>

#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/binary_tools.h"
#include "core/link/memory_dump.h"
#include "core/link/serial_port.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"
#include "core/window/firmware_status.h"
#include "gui/accessibility.h"
#include "gui/adapter_checks.h"
#include "gui/artwork.h"
#include "gui/history_dialog.h"
#include "gui/mouse_guard.h"
#include "gui/order_view.h"
#include "gui/page_edits.h"
#include "gui/pages/delayed_tips.h"
#include "gui/pages/page_widgets.h"
#include "gui/report_printer.h"
#include "gui/tab_strip.h"
#include "gui/test_page_dialog.h"
#include "gui/transfer_runner.h"
#include "version.h"

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
// Cancel takes the place of "&Write" and "&Read" while a transfer runs.
constexpr int kCancelX = 219, kCancelY = 279, kCancelW = 123, kCancelH = 18;

struct ButtonSpec {
  const char* label;
  int x, y, w, h;
  const char* tip;
};
// In the order of MainWindow::CommandButton.
const ButtonSpec kButtons[MainWindow::kButtonCount] = {
    {"&Print", 9, 279, 54, 18, "Print setting status"},    {"&Save", 79, 279, 54, 18, "Save data to a file"},
    {"&Load", 149, 279, 54, 18, "Load data from a file"},  {"&Write", 219, 279, 54, 18, "Write data to a pager"},
    {"&Read", 288, 279, 54, 18, "Read data from a pager"},
};

struct PaneSpec {
  int width;
  QString text;
};
// In the order of MainWindow::StatusPane. The message pane stretches; the version pane's text is
// set apart.
const PaneSpec kPanes[MainWindow::kPaneCount] = {
    {30, QString()}, {286, kWelcomeText},          {150, QStringLiteral("Progress")}, {23, QStringLiteral("   ")},
    {30, QString()}, {56, QStringLiteral("    ")},
};

QFont ArialPixels(int pixels, bool bold = false) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

const QString kVersionText = QStringLiteral("V") + QLatin1String(kProgramVersion);
const QString kAboutText =
    QStringLiteral("M84 POCSAG Multi-Lingual Alphanumeric Pager DPT V") + QLatin1String(kProgramVersion);

const QString kDataFilter = QStringLiteral("Data File (*.DAT);;Settings Text (*.yaml *.yml);;All File (*.*)");
const QString kLoadFilter = QStringLiteral("Data File(*.DAT);;Settings Text (*.yaml *.yml);;All File(*.*)");
const QString kStopWriteQuestion = QStringLiteral("Stopping now leaves the pager half-written. Stop anyway?");
// Between a status text and the cause named after it.
const QString kCauseSeparator = QStringLiteral(" \u2014 ");
// After the operation's own status text when the history could not keep it.
const QString kNotInHistoryText = QStringLiteral(" (no history record)");
const QString kUnsavedQuestion =
    QStringLiteral("The pages hold changes that are not saved. Save them to a file first?");
// Between the file's name and the program's in the title; before them while the pages hold edits.
const QString kTitleSeparator = QStringLiteral(" \u2014 ");
const QString kEditedMark = QStringLiteral("*");

constexpr int kRecentFileCount = 10;
const QString kTextFilter = QStringLiteral("Settings Text (*.yaml *.yml)");
const QString kPdfFilter = QStringLiteral("PDF (*.pdf)");
const QString kOrderFilter = QStringLiteral("Order (*.csv *.CSV);;All File (*.*)");
const QString kCompareSettingsTitle = QStringLiteral("Compare Settings Files");
const QString kSettingsWillChange = QStringLiteral("The write will change these settings of the pager:");

// The keys the window takes, for Help, Keys.
const QString kKeysText = QStringLiteral(
    "Alt+P  Print         Alt+S  Save        Alt+L  Load\n"
    "Alt+W  Write         Alt+R  Read\n"
    "Ctrl+O  Open...      Ctrl+S  Save...    Ctrl+P  Print...\n"
    "Ctrl+Q  Quit         F1      About\n"
    "Escape  Cancel a read, write or dump; else close the window\n"
    "Enter   The next control of the page\n"
    "\n"
    "In advanced mode:\n"
    "Ctrl+Shift+T  Basic mode\n"
    "Ctrl+Shift+R  Dump memory\n"
    "Ctrl+Shift+C  Compare memory files\n");

// A load for a comparison: nothing in the status line, the reason kept for the box.
struct QuietHost : OperationHost {
  QString problem;
  void ShowStatus(const QString&) override {}
  void Sound(Beep) override {}
  void ShowFileProblem(const QString& path, const QString& reason) override { problem = path + ": " + reason; }
};

// The message pane: a text longer than the pane loses its middle, where a status text's cause
// begins, and keeps the status text and the end of the cause in sight.
class MessagePane : public QLabel {
 public:
  using QLabel::QLabel;
  QString Shown() const { return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextRect().width()); }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(TextRect(), int(alignment()), Shown());
  }

 private:
  // The indent a framed label leaves on either side.
  QRect TextRect() const {
    const int indent = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    return contentsRect().adjusted(indent, 0, -indent, 0);
  }
};

// The one settings file a drag carries, when it is of a kind the window loads.
QString DroppedSettingsFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
  const QUrl url = mime->urls().constFirst();
  if (!url.isLocalFile()) return {};
  const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
  static const QStringList kLoadable{QStringLiteral("dat"), QStringLiteral("bin"), QStringLiteral("yaml"),
                                     QStringLiteral("yml")};
  return kLoadable.contains(suffix) ? url.toLocalFile() : QString();
}

}  // namespace

MainWindow::MainWindow(PagerData& data, WindowOptions options, QWidget* parent)
    : QWidget(parent), data_(data), options_(std::move(options)), models_(data, DisplayMode::Basic) {
  if (!options_.dialogs) options_.dialogs = std::make_shared<QtFileDialogs>();
  if (!options_.tones) options_.tones = CreateAlsaTonePlayer();
  if (!options_.questions) options_.questions = std::make_shared<MessageBoxQuestions>();

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
  CreateMenus();
  setFixedSize(qRound(kDialogWidth * dluX_), qRound(kDialogHeight * dluY_) + menuHeight_ + kStatusLineHeight);
  menuBar_->setGeometry(0, 0, width(), menuHeight_);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  auto* banner = new Banner(this);
  banner->setGeometry(DialogRect(0, 0, 351, 52));

  port_ = std::make_unique<SerialPort>(AdapterPortName(options_.portName));
  if (options_.lineObserver) port_->SetObserver(options_.lineObserver.get());
  link_ = std::make_unique<AdapterLink>(*port_);
  runner_ = std::make_unique<TransferRunner>(*this);
  connect(runner_.get(), &TransferRunner::Finished, this, &MainWindow::OnTransferFinished);

  edits_ = new PageEdits(this);
  connect(edits_, &PageEdits::Changed, this, &MainWindow::UpdateTitle);
  CreatePages();
  CreateButtons();
  ExchangeAllPages(Direction::Load);
  CreateStatusLine();
  MarkPagesClean();
  // Files dropped anywhere on the window, its edits included, load as the window's own.
  setAcceptDrops(true);
  qApp->installEventFilter(this);

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
  SyncActions();

  // Progress and results of a firmware transfer arrive as events posted to the window.
  firmware_ = std::make_unique<FirmwareStatus>(
      FirmwareStatus::Sinks{[this](const QString& text) { ShowStatus(text); },
                            [this](int percent) { SetProgress(percent * kProgressRange / 100); },
                            [this] {
                              if (!busy_) link_->ClosePort();
                            }});
  installEventFilter(firmware_.get());
}

// A transfer still running is stopped after its block in progress before anything it uses goes.
MainWindow::~MainWindow() { runner_.reset(); }

SettingsPage* MainWindow::Page(PageId id) const {
  // Building a page is no change a caller can see: it is as if it had been there from the start.
  if (id != PageId::Basic) const_cast<MainWindow*>(this)->BuildTabPages();
  return pages_[static_cast<size_t>(id)];
}

QRect MainWindow::DialogRect(int x, int y, int w, int h) const {
  return QRect(qRound(x * dluX_), qRound(y * dluY_) + menuHeight_, qRound(w * dluX_), qRound(h * dluY_));
}

void MainWindow::CreatePages() {
  auto* area = new PageArea(DialogRect(7, 56, 338, 219), this);
  tabStrip_ = new TabStrip(area->Pages());
  tabStrip_->setGeometry(area->Pages()->rect());
  for (const PageInfo& info : kTabPages)
    tabStrip_->AddTab(QString::fromLatin1(info.tabLabel), QString::fromLatin1(info.tabTip));
  tabStrip_->hide();
  tabStrip_->SetTabFont(ArialPixels(12));
  tabStrip_->LayoutTabs(kTabIndent, kTabCut);
  connect(tabStrip_, &TabStrip::CurrentChanged, this, &MainWindow::OnTabSelected);
  tabStrip_->SetLeaveGuard([this] { return LeaveFocusedControl(); });

  auto& basic = pages_[static_cast<size_t>(PageId::Basic)];
  basic = CreatePageWidget(models_.Page(PageId::Basic), data_, *this, area->Pages());
  basic->setGeometry(area->Pages()->rect());
  basic->show();
  edits_->Watch(basic);
}

// The twelve tab pages cost most of the window's start (the grid pages above all), and basic mode
// shows none of them: they are built once the window has first been painted, or before that the
// moment anything needs one. Nothing loads them before advanced mode either way.
void MainWindow::BuildTabPages() {
  if (tabPagesBuilt_) return;
  tabPagesBuilt_ = true;
  // The front card of the stacked rows is narrower than the strip by one indent per row behind it.
  const int rowsBehind = 2;
  const QSize pageSize(tabStrip_->width() - 2 * kPageOffsetX - rowsBehind * kTabIndent - 2,
                       tabStrip_->height() - kPageOffsetY - kPageOffsetX);
  for (const PageInfo& info : kTabPages) {
    SettingsPage* page = CreatePageWidget(models_.Page(info.id), data_, *this, tabStrip_);
    page->hide();
    page->setGeometry(QRect(QPoint(kPageOffsetX, kPageOffsetY), pageSize));
    pages_[static_cast<size_t>(info.id)] = page;
    edits_->Watch(page);
  }
  // Behind the pages in the tab order, as when the pages were built first. Ordered after a widget
  // that takes no focus (the last page's last label), Qt put the buttons before the pages.
  QWidget* last = previousInFocusChain();
  while (last != this && last->focusPolicy() == Qt::NoFocus) last = last->previousInFocusChain();
  for (QPushButton* button : buttons_) {
    if (button != last) setTabOrder(last, button);
    last = button;
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

void MainWindow::CreateMenus() {
  menuBar_ = new QMenuBar(this);
  struct Entry {
    MenuCommand command;
    const char* text;
    QKeySequence keys;
    void (MainWindow::*run)();
  };
  // Keys another control of the window handles already are shown after a tab, not bound twice.
  const Entry entries[] = {
      {kOpenCommand, "&Open...", QKeySequence::Open, &MainWindow::LoadDataFileCommand},
      {kSaveCommand, "&Save...", QKeySequence::Save, &MainWindow::SaveDataFileCommand},
      {kSaveTextCommand, "Save as &Text...", {}, &MainWindow::SaveTextCommand},
      {kPrintCommand, "&Print...", QKeySequence::Print, &MainWindow::PrintCommand},
      {kPrintPdfCommand, "Print to P&DF...", {}, &MainWindow::PrintPdfCommand},
      {kQuitCommand, "&Quit", QKeySequence(QStringLiteral("Ctrl+Q")), nullptr},
      {kReadCommand, "&Read", {}, &MainWindow::ReadCommand},
      {kWriteCommand, "&Write", {}, &MainWindow::WriteCommand},
      {kReviewWriteCommand, "Write with Re&view...", {}, &MainWindow::ReviewWriteCommand},
      {kReviewEveryWriteCommand, "Review &Every Write", {}, nullptr},
      {kCancelCommand, "&Cancel\tEsc", {}, &MainWindow::CancelTransfer},
      {kDumpCommand, "&Dump Memory...\tCtrl+Shift+R", {}, &MainWindow::MemoryDumpCommand},
      {kAdapterPortsCommand, "&Adapter Ports...", {}, &MainWindow::AdapterPortsCommand},
      {kCheckConnectionCommand, "C&heck the Connection...", {}, &MainWindow::CheckConnectionCommand},
      {kHistoryCommand, "&Records...", {}, &MainWindow::HistoryCommand},
      {kCompareMemoryCommand, "Compare &Memory Files...\tCtrl+Shift+C", {}, &MainWindow::BinaryCompareCommand},
      {kCompareSettingsCommand, "Compare &Settings Files...", {}, &MainWindow::CompareSettingsCommand},
      {kGuideCommand, "&Guide", {}, &MainWindow::ShowGuide},
      {kKeysCommand, "&Keys", {}, &MainWindow::ShowKeys},
      {kAboutCommand, "&About M84DPT...\tF1", {}, &MainWindow::ShowAbout},
      {kOpenOrderCommand, "&Open Order...", {}, &MainWindow::OpenOrderCommand},
      {kTestPageCommand, "Test &Page...", {}, &MainWindow::TestPageCommand},
  };
  for (const Entry& entry : entries) {
    auto* action = new QAction(QString::fromLatin1(entry.text), this);
    action->setShortcut(entry.keys);
    // The menu's keys work wherever the focus is in the window, as the buttons' do.
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    if (entry.run)
      connect(action, &QAction::triggered, this, entry.run);
    else if (entry.command == kQuitCommand)
      connect(action, &QAction::triggered, this, &QWidget::close);
    actions_[entry.command] = action;
  }
  // The bar's mnemonics stay clear of the buttons' P, S, L, W and R.
  QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
  file->addAction(actions_[kOpenCommand]);
  recentMenu_ = file->addMenu(QStringLiteral("Open &Recent"));
  file->addAction(actions_[kSaveCommand]);
  file->addAction(actions_[kSaveTextCommand]);
  file->addSeparator();
  file->addAction(actions_[kPrintCommand]);
  file->addAction(actions_[kPrintPdfCommand]);
  file->addSeparator();
  file->addAction(actions_[kQuitCommand]);
  QMenu* pager = menuBar_->addMenu(QStringLiteral("Pa&ger"));
  for (MenuCommand command : {kReadCommand, kWriteCommand, kReviewWriteCommand, kCancelCommand, kDumpCommand})
    pager->addAction(actions_[command]);
  pager->addSeparator();
  pager->addAction(actions_[kAdapterPortsCommand]);
  pager->addAction(actions_[kCheckConnectionCommand]);
  pager->addSeparator();
  // A preference: on, Write is Write with Review.
  QAction* reviewEvery = actions_[kReviewEveryWriteCommand];
  reviewEvery->setCheckable(true);
  reviewEvery->setChecked(options_.preferences && options_.preferences->ReviewEveryWrite());
  connect(reviewEvery, &QAction::toggled, this, [this](bool on) {
    if (options_.preferences) options_.preferences->WriteReviewEveryWrite(on);
  });
  pager->addAction(reviewEvery);
  // Only where there is a history to list.
  if (options_.historyLocation) menuBar_->addMenu(QStringLiteral("Hist&ory"))->addAction(actions_[kHistoryCommand]);
  // An order's progress is kept in the history: no history, no orders.
  if (options_.historyLocation) {
    fleetMenu_ = menuBar_->addMenu(QStringLiteral("Fle&et"));
    fleetMenu_->addAction(actions_[kOpenOrderCommand]);
  }
  QMenu* tools = menuBar_->addMenu(QStringLiteral("&Tools"));
  tools->addAction(actions_[kCompareMemoryCommand]);
  tools->addAction(actions_[kCompareSettingsCommand]);
  tools->addAction(actions_[kTestPageCommand]);
  QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
  for (MenuCommand command : {kGuideCommand, kKeysCommand, kAboutCommand}) help->addAction(actions_[command]);
  menuHeight_ = menuBar_->sizeHint().height();

  if (options_.preferences) recent_ = options_.preferences->RecentFiles().mid(0, kRecentFileCount);
  FillRecentMenu();
}

void MainWindow::AddRecentFile(const QString& path) {
  recent_.removeAll(path);
  recent_.prepend(path);
  while (recent_.size() > kRecentFileCount) recent_.removeLast();
  if (options_.preferences) options_.preferences->WriteRecentFiles(recent_);
  FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
  recentMenu_->clear();
  for (int i = 0; i < recent_.size(); ++i) {
    const QString path = recent_[i];
    // Numbered mnemonics, 1 to 9 and 0, as desktop programs number them.
    const QString text = QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(path).fileName());
    QAction* action = recentMenu_->addAction(text, this, [this, path] { OpenFileAskingFirst(path); });
    action->setToolTip(path);
    action->setStatusTip(path);
  }
  recentMenu_->setEnabled(!recent_.isEmpty() && !busy_);
}

// The buttons stay enabled as the window has always enabled them; the actions follow them.
void MainWindow::SyncActions() {
  const std::pair<MenuCommand, CommandButton> shared[] = {{kOpenCommand, kLoadButton},
                                                          {kSaveCommand, kSaveButton},
                                                          {kPrintCommand, kPrintButton},
                                                          {kReadCommand, kReadButton},
                                                          {kWriteCommand, kWriteButton}};
  for (const auto& [command, button] : shared) actions_[command]->setEnabled(Button(button)->isEnabled());
  actions_[kReviewWriteCommand]->setEnabled(Button(kWriteButton)->isEnabled());
  // The port checks wait while a transfer has the port; basic mode offers them too, as they
  // change nothing.
  for (MenuCommand command : {kSaveTextCommand, kPrintPdfCommand, kCompareSettingsCommand, kHistoryCommand,
                              kAdapterPortsCommand, kCheckConnectionCommand, kTestPageCommand})
    actions_[command]->setEnabled(!busy_);
  actions_[kCancelCommand]->setEnabled(busy_);
  // Basic mode's menus hold only what basic mode offers: the service commands are advanced.
  const bool advanced = mode_ == DisplayMode::Advanced;
  for (MenuCommand command : {kDumpCommand, kCompareMemoryCommand, kOpenOrderCommand}) {
    actions_[command]->setVisible(advanced);
    actions_[command]->setEnabled(advanced && !busy_);
  }
  if (fleetMenu_) fleetMenu_->menuAction()->setVisible(advanced);
  recentMenu_->setEnabled(!recent_.isEmpty() && !busy_);
}

void MainWindow::CreateButtons() {
  auto* tips = new DelayedTips(kButtonTipDelayMs, this);
  for (int i = 0; i < kButtonCount; ++i) {
    const ButtonSpec& spec = kButtons[i];
    auto* button = new QPushButton(QString::fromLatin1(spec.label), this);
    buttons_[static_cast<size_t>(i)] = button;
    button->setGeometry(DialogRect(spec.x, spec.y, spec.w, spec.h));
    button->setFont(ArialPixels(16, true));
    tips->Add(button, QString::fromLatin1(spec.tip));
    button->setAutoDefault(false);
    // A click leaves the focus in the page, so that the command first leaves the control with
    // the focus as the user would and goes no further when its check refuses the text; the
    // keyboard still reaches the buttons with Tab.
    button->setFocusPolicy(Qt::TabFocus);
  }
  Button(kWriteButton)->setEnabled(false);
  Button(kReadButton)->setEnabled(false);
  // A button and its menu entry are one action: the button triggers it.
  const std::pair<CommandButton, MenuCommand> shared[] = {{kLoadButton, kOpenCommand},
                                                          {kSaveButton, kSaveCommand},
                                                          {kPrintButton, kPrintCommand},
                                                          {kReadButton, kReadCommand},
                                                          {kWriteButton, kWriteCommand}};
  for (const auto& [button, command] : shared)
    connect(Button(button), &QPushButton::clicked, actions_[command], &QAction::trigger);

  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setGeometry(DialogRect(kCancelX, kCancelY, kCancelW, kCancelH));
  cancel_->setFont(ArialPixels(16, true));
  cancel_->setAutoDefault(false);
  // Keys typed during a transfer must not reach it by accident; Escape is its key.
  cancel_->setFocusPolicy(Qt::NoFocus);
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, &MainWindow::CancelTransfer);
}

void MainWindow::CreateStatusLine() {
  auto* line = new StatusLine(this);
  line->setGeometry(0, height() - kStatusLineHeight, width(), kStatusLineHeight);
  auto* layout = new QHBoxLayout(line);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  for (int i = 0; i < kPaneCount; ++i) {
    const QString text = i == kVersionPane ? kVersionText : kPanes[i].text;
    QLabel* pane = i == kMessagePane ? new MessagePane(text, line) : new QLabel(text, line);
    pane->setFont(ArialPixels(12));
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The tabled widths suit the platform's small status font; a pane never cuts its own text.
    const int width = std::max(
        kPanes[i].width, pane->fontMetrics().horizontalAdvance(pane->text()) + 2 * pane->frameWidth() + kPaneTextRoom);
    pane->setMinimumWidth(width);
    if (i != kMessagePane) pane->setFixedWidth(width);
    layout->addWidget(pane, i == kMessagePane ? 1 : 0);
    panes_[static_cast<size_t>(i)] = pane;
  }
  // Panes whose text changes are as wide as the widest text they show.
  const auto fitWidest = [](QLabel* pane, int tabled, const QStringList& texts) {
    int width = tabled;
    for (const QString& text : texts)
      width = std::max(width, pane->fontMetrics().horizontalAdvance(text) + 2 * pane->frameWidth() + kPaneTextRoom);
    pane->setFixedWidth(width);
  };
  fitWidest(panes_[kAdapterPane], kPanes[kAdapterPane].width,
            {AdapterStateText(AdapterState::Absent), AdapterStateText(AdapterState::UsbPortOnly),
             AdapterStateText(AdapterState::Ready), AdapterStateText(AdapterState::Held)});
  // A status with its cause may be longer than the pane: it is elided, and shown whole as the tip.
  panes_[kMessagePane]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  fitWidest(panes_[kClockPane], kPanes[kClockPane].width, {QStringLiteral("00:00:00")});
  panes_[kIconPane]->setPixmap(ProgramIcon().pixmap(18, 18));
  panes_[kIconPane]->setAlignment(Qt::AlignCenter);
  progress_ = new QProgressBar(panes_[kProgressPane]);
  progress_->setRange(0, kProgressRange);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setGeometry(panes_[kProgressPane]->rect());
  progress_->setGeometry(0, 0, kPanes[kProgressPane].width, kStatusLineHeight - 4);
}

QString MainWindow::StatusText(StatusPane pane) const { return panes_[static_cast<size_t>(pane)]->text(); }

QString MainWindow::StatusTip(StatusPane pane) const { return panes_[static_cast<size_t>(pane)]->toolTip(); }

void MainWindow::ShowStatus(const QString& text) {
  if (busy_ && transfer_ == TransferKind::Write && text == kVerifying) verifying_ = true;
  QLabel* pane = panes_[kMessagePane];
  pane->setText(text);
  const bool cut = static_cast<MessagePane*>(pane)->Shown() != text;
  // As rich text the tip wraps, and stays on the screen however long the text.
  pane->setToolTip(cut ? QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()) : QString());
  AnnounceStatus(pane, text);
}

QString MainWindow::ShownStatusText() const { return static_cast<const MessagePane*>(panes_[kMessagePane])->Shown(); }

// After the fixed text, which stays as it is.
void MainWindow::ShowWarning(const QString& text) { ShowStatus(StatusText(kMessagePane) + kCauseSeparator + text); }

void MainWindow::ShowFileProblem(const QString& path, const QString& /*reason*/) { problemAt_ = path; }

void MainWindow::OpenFile(const QString& path) { LoadFile(path); }

void MainWindow::OpenFileAskingFirst(const QString& path) {
  BringToFront();
  if (busy_) {
    pendingFile_ = path;
    return;
  }
  if (SettleUnsavedEdits()) LoadFile(path);
}

// The status text stays as it is, with the reason after it; the whole path and reason in a box,
// since the status line cuts a long one.
void MainWindow::LoadFile(const QString& path) {
  problemAt_.clear();
  const Outcome loaded = LoadSettingsIntoPages(path, data_, *this, *this);
  if (loaded) {
    dataFile_ = QFileInfo(path).absoluteFilePath();
    MarkPagesClean();
    AddRecentFile(dataFile_);
    return;
  }
  const QString reason = loaded.failure().reason;
  if (reason.isEmpty()) return;
  const QString at = problemAt_.isEmpty() ? path : problemAt_;
  const QString status = StatusText(kMessagePane);
  ShowStatus(status + kCauseSeparator + QFileInfo(at).fileName() + QStringLiteral(": ") + reason);
  options_.questions->ShowFailure(this, status, at + QStringLiteral(": ") + reason);
}

QList<QWidget*> MainWindow::ShownPages() const {
  if (mode_ == DisplayMode::Basic) return {Page(PageId::Basic)};
  QList<QWidget*> shown;
  for (const PageInfo& info : kTabPages) shown << Page(info.id);
  return shown;
}

bool MainWindow::HasUnsavedEdits() const { return editsCarried_ || PageEdits::Shown(ShownPages()) != cleanPages_; }

void MainWindow::MarkPagesClean() {
  editsCarried_ = false;
  cleanPages_ = PageEdits::Shown(ShownPages());
  UpdateTitle();
}

void MainWindow::KeepEditsAcross(const std::function<void()>& change) {
  const bool edited = HasUnsavedEdits();
  change();
  RebaseEdits(edited);
}

void MainWindow::RebaseEdits(bool edited) {
  editsCarried_ = edited;
  cleanPages_ = PageEdits::Shown(ShownPages());
  UpdateTitle();
}

void MainWindow::UpdateTitle() {
  QString title = kTitle;
  if (!dataFile_.isEmpty()) title = QFileInfo(dataFile_).fileName() + kTitleSeparator + title;
  if (HasUnsavedEdits()) title = kEditedMark + title;
  if (title != windowTitle()) setWindowTitle(title);
}

bool MainWindow::SettleUnsavedEdits() {
  if (!HasUnsavedEdits()) return true;
  switch (options_.questions->AskUnsaved(this, kUnsavedQuestion)) {
    case UnsavedChoice::Save: return SaveToChosenFile();
    case UnsavedChoice::Discard: return true;
    case UnsavedChoice::Cancel: break;
  }
  return false;
}

void MainWindow::Sound(Beep beep) { options_.tones->Play(TonesOf(beep)); }

void MainWindow::SetProgress(int position) { progress_->setValue(position); }

void MainWindow::ExchangeAllPages(Direction direction) {
  if (mode_ == DisplayMode::Basic) {
    Page(PageId::Basic)->ExchangeImage(direction);
    return;
  }
  for (const PageInfo& info : kTabPages) Page(info.id)->ExchangeImage(direction);
}

bool MainWindow::LeaveFocusedControl() {
  SettingsPage* page = mode_ == DisplayMode::Basic ? Page(PageId::Basic) : ShownTabPage();
  return !page || page->LeaveFocusedControl();
}

void MainWindow::OnTabSelected(int index) {
  for (const PageInfo& info : kTabPages) Page(info.id)->hide();
  ShowStatus(QString());
  KeepEditsAcross([this] { ExchangeAllPages(Direction::Store); });
  SettingsPage* page = Page(kTabPages[static_cast<size_t>(index)].id);
  page->show();
  page->setFocus();
  KeepEditsAcross([this] { ExchangeAllPages(Direction::Load); });
}

void MainWindow::SwitchToAdvancedMode() {
  const bool edited = HasUnsavedEdits();
  Page(PageId::Basic)->ExchangeImage(Direction::Store);
  Page(PageId::Basic)->hide();
  tabStrip_->show();
  tabStrip_->SetCurrentIndex(TabIndexOf(PageId::General));
  for (const PageInfo& info : kTabPages) Page(info.id)->setVisible(info.id == PageId::General);
  Page(PageId::General)->setFocus();
  EnterMode(DisplayMode::Advanced);
  RebaseEdits(edited);
}

void MainWindow::EnterMode(DisplayMode mode) {
  mode_ = mode;
  models_.SetMode(mode_);
  ExchangeAllPages(Direction::Load);
  const bool advanced = mode_ == DisplayMode::Advanced;
  // An order's rows carry every page's settings: basic mode shows too few of them to write one.
  if (!advanced && orderView_) orderView_->close();
  if (advanced)
    mouseGuard_->Install();
  else
    mouseGuard_->Remove();
  SetServiceCommandsEnabled(advanced);
  SyncActions();
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
  if (!LeaveFocusedControl()) return;
  const bool edited = HasUnsavedEdits();
  ExchangeAllPages(Direction::Store);
  Page(PageId::Basic)->show();
  tabStrip_->hide();
  for (const PageInfo& info : kTabPages) Page(info.id)->hide();
  EnterMode(DisplayMode::Basic);
  RebaseEdits(edited);
}

void MainWindow::LoadDataFileCommand() {
  if (!SettleUnsavedEdits()) return;
  const QString path = options_.dialogs->OpenFileName(this, QStringLiteral("Select Data File"), kLoadFilter);
  if (path.isEmpty()) return;
  LoadFile(path);
}

void MainWindow::SaveDataFileCommand() { SaveToChosenFile(); }

bool MainWindow::SaveToChosenFile() {
  if (!LeaveFocusedControl()) return false;
  return SaveTo(options_.dialogs->SaveFileName(this, QStringLiteral("Save Data File"), kDataFilter));
}

void MainWindow::SaveTextCommand() {
  if (!LeaveFocusedControl()) return;
  QString path = options_.dialogs->SaveFileName(this, QStringLiteral("Save Settings Text"), kTextFilter);
  if (!path.isEmpty() && SettingsFileFormOf(path) != SettingsFileForm::Text) path += QStringLiteral(".yaml");
  SaveTo(path);
}

bool MainWindow::SaveTo(const QString& path) {
  if (path.isEmpty()) return false;
  bool saved = false;
  // A refused save leaves the edits as unsaved as they were, whatever the store showed.
  KeepEditsAcross([&] { saved = bool(SaveSettingsFromPages(path, data_, *this, *this)); });
  if (!saved) return false;
  dataFile_ = QFileInfo(WithDefaultExtension(path, DefaultExtensionOf(path))).absoluteFilePath();
  MarkPagesClean();
  AddRecentFile(dataFile_);
  return true;
}

void MainWindow::PrintCommand() {
  if (!LeaveFocusedControl()) return;
  KeepEditsAcross([this] {
    PrintReport(this, mode_, [this](PageId id, ReportCursor& report) { Page(id)->PrintSection(report); });
  });
}

void MainWindow::PrintPdfCommand() {
  if (!LeaveFocusedControl()) return;
  QString path = options_.dialogs->SaveFileName(this, QStringLiteral("Print to PDF"), kPdfFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0) path += QStringLiteral(".pdf");
  bool printed = false;
  KeepEditsAcross([&] {
    printed =
        PrintReportToPdf(path, mode_, [this](PageId id, ReportCursor& report) { Page(id)->PrintSection(report); });
  });
  ShowStatus((printed ? QStringLiteral("Report saved as ") : QStringLiteral("Report not saved: ")) +
             QFileInfo(path).fileName());
}

// As `m84dpt diff` shows them: each file's settings as the pages store them.
void MainWindow::CompareSettingsCommand() {
  PagerData files[2];
  QuietHost host;
  for (int i = 0; i < 2; ++i) {
    const QString path = options_.dialogs->OpenFileName(
        this,
        QStringLiteral("Compare Settings: %1 File").arg(i == 0 ? QStringLiteral("First") : QStringLiteral("Second")),
        kLoadFilter);
    if (path.isEmpty()) return;
    if (!LoadSettingsFile(path, files[i], host)) {
      ShowText(kCompareSettingsTitle, host.problem);
      return;
    }
    ModelPageSet pages(files[i], DisplayMode::Advanced);
    pages.ExchangeAllPages(Direction::Load);
    pages.ExchangeAllPages(Direction::Store);
  }
  const QStringList lines = SettingsDifferences(files[0], files[1]);
  ShowText(kCompareSettingsTitle, lines.isEmpty() ? kNoSettingDiffers : lines.join(QLatin1Char('\n')));
}

void MainWindow::ShowGuide() {
  const QString guide =
      options_.guidePath.isEmpty() ? GuidePage(QCoreApplication::applicationDirPath()) : options_.guidePath;
  const QUrl page = QUrl::fromLocalFile(QFileInfo(guide).absoluteFilePath());
  if (!QFileInfo::exists(guide) || !(options_.openUrl ? options_.openUrl(page) : QDesktopServices::openUrl(page)))
    ShowStatus(QStringLiteral("The guide cannot be opened: ") + QDir::cleanPath(guide));
}

void MainWindow::HistoryCommand() {
  if (!options_.historyLocation || busy_) return;
  HistoryDialog::Pages pages;
  pages.current = [this] {
    KeepEditsAcross([this] { ExchangeAllPages(Direction::Store); });
    return data_;
  };
  pages.load = [this](const PagerData& record) {
    if (!SettleUnsavedEdits()) return false;
    data_ = record;
    ExchangeAllPages(Direction::Load);
    dataFile_.clear();
    MarkPagesClean();
    ShowStatus(QStringLiteral("Settings loaded from the history"));
    return true;
  };
  HistoryDialog dialog(*options_.historyLocation, pages, options_.dialogs, this);
  dialog.exec();
}

void MainWindow::TestPageCommand() {
  if (!testPage_) {
    // Each check stores the pages first, as print and save do, so it sees what the screen shows.
    testPage_ = new TestPageDialog(
        [this]() -> std::optional<PagerData> {
          if (!LeaveFocusedControl()) return std::nullopt;
          KeepEditsAcross([this] { ExchangeAllPages(Direction::Store); });
          return data_;
        },
        options_.dialogs, this);
  }
  testPage_->show();
  testPage_->raise();
  testPage_->activateWindow();
}

TestPageDialog* MainWindow::TestPageBox() const { return testPage_; }

void MainWindow::AdapterPortsCommand() {
  RunAdapterCheck(QStringLiteral("Adapter Ports"),
                  [port = AdapterPortName(options_.portName)] { return AdapterPortsText(port); });
}

void MainWindow::CheckConnectionCommand() {
  DoctorOptions doctor = SystemDoctorOptions(options_.portName, {}, true);
  // The store this window records into and lists, not the one the command line would find.
  doctor.history = options_.historyLocation;
  RunAdapterCheck(QStringLiteral("Check the Connection"), [doctor] { return ConnectionCheckText(doctor); });
}

void MainWindow::RunAdapterCheck(const QString& title, std::function<QString()> check) {
  if (busy_) return;
  checkingPorts_ = true;
  AdapterCheckDialog box(title, std::move(check), this);
  box.exec();
  checkingPorts_ = false;
}

void MainWindow::ShowKeys() { ShowText(QStringLiteral("Keys"), kKeysText); }

// The transfer's thread has the link alone: the image goes in as a copy, and what comes back
// reaches the image and the pages once the thread has ended (TakeTransferredImage).
void MainWindow::ReadCommand() {
  if (busy_ || !SettleUnsavedEdits()) return;
  StartTransfer(TransferKind::Read, [this](TransferHost& host) {
    read_ = link_->ReadPager(host);
    return bool(*read_);
  });
}

void MainWindow::WriteCommand() {
  if (orderView_ && orderView_->isVisible()) {
    WriteOrderRow();
    return;
  }
  if (actions_[kReviewEveryWriteCommand]->isChecked()) {
    ReviewWriteCommand();
    return;
  }
  if (busy_ || !LeaveFocusedControl()) return;
  KeepEditsAcross([this] { ExchangeAllPages(Direction::Store); });
  StartWrite();
}

void MainWindow::ReviewWriteCommand() {
  if (busy_ || !LeaveFocusedControl()) return;
  KeepEditsAcross([this] { ExchangeAllPages(Direction::Store); });
  StartTransfer(TransferKind::Review, [this](TransferHost& host) {
    read_ = link_->ReadPager(host);
    return bool(*read_);
  });
}

void MainWindow::OfferReviewedWrite() {
  PagerData pager = data_;
  TakeRead(read_->value(), pager.image);
  const QStringList changes = SettingsDifferences(StoredByThePages(pager), StoredByThePages(data_));
  QString text = changes.isEmpty() ? kNoSettingWillChange
                                   : kSettingsWillChange + QStringLiteral("\n\n") + changes.join(QLatin1Char('\n'));
  // The site chosen in Tools, Test Page...: the rows the write would leave deaf to it.
  if (testPage_ && testPage_->Site())
    if (const QStringList unheard = paging::SiteFindings(data_, *testPage_->Site()); !unheard.isEmpty())
      text += QStringLiteral("\n\nRows that would not hear the site:\n") + unheard.join(QLatin1Char('\n'));
  if (options_.questions->ConfirmWrite(this, text))
    StartWrite(QByteArray(reinterpret_cast<const char*>(read_->value().data() + kSerialFirst),
                          kSerialLast - kSerialFirst + 1));
}

void MainWindow::StartWrite(const std::optional<QByteArray>& readBefore) {
  const WriteOptions options{KeepPagerSerialNumber(models_)};
  readBeforeWrite_ = readBefore;
  StartTransfer(TransferKind::Write, [this, image = data_.image, options](TransferHost& host) {
    written_ = link_->WritePager(image, options, host);
    return bool(written_->outcome);
  });
}

void MainWindow::OpenOrderCommand() {
  if (!options_.historyLocation || busy_ || mode_ != DisplayMode::Advanced) return;
  const QString order = options_.dialogs->OpenFileName(this, QStringLiteral("Open Order"), kOrderFilter);
  if (order.isEmpty()) return;
  // A cancelled choice is no template: every setting a row does not give is the default.
  const QString base = options_.dialogs->OpenFileName(
      this, QStringLiteral("Order Template (Cancel: the default settings)"), kLoadFilter);
  delete orderView_.data();
  orderView_ = new OrderView(order, base, *options_.historyLocation, actions_[kWriteCommand], this);
  connect(orderView_, &QDialog::finished, orderView_, &QObject::deleteLater);
  orderView_->setModal(false);
  orderView_->show();
  ShowStatus(orderView_->Refused() ? orderView_->RefusalText()
                                   : QStringLiteral("%1: %2 row(s) ready")
                                         .arg(QFileInfo(order).fileName())
                                         .arg(orderView_->Checked().rows.size()));
}

OrderView* MainWindow::OpenOrder() const { return orderView_; }

// The transfer claims the next row through the pager in the adapter; the pages show the row
// from the moment it is claimed.
void MainWindow::WriteOrderRow() {
  if (busy_) return;
  if (orderView_->Refused()) {
    ShowStatus(orderView_->RefusalText());
    Sound(Beep::Error);
    return;
  }
  if (!LeaveFocusedControl() || !SettleUnsavedEdits()) return;
  orderWrite_ = std::make_shared<OrderRowWrite>();
  auto order = std::make_shared<const fleet::Order>(orderView_->Checked());
  StartTransfer(TransferKind::Write, [this, order, write = orderWrite_, location = orderView_->Location(),
                                      rules = orderView_->Rules(link_->DeviceName())](TransferHost& host) {
    *write = WriteNextRow(*order, location, rules, *link_, host, [this](const fleet::OrderRow& row) {
      QMetaObject::invokeMethod(
          this, [this, data = row.data] { LoadOrderRow(data); }, Qt::QueuedConnection);
    });
    if (write->wrote) written_ = write->wrote->written;
    return write->wrote && write->wrote->ok;
  });
}

// The order's file holds the row: the pages lose nothing to it.
void MainWindow::LoadOrderRow(const PagerData& row) {
  data_ = row;
  ExchangeAllPages(Direction::Load);
  dataFile_.clear();
  MarkPagesClean();
}

// The order's write is recorded by the order itself, with its row.
void MainWindow::FinishOrderRow(const OrderRowWrite& write) {
  const QString summary = write.Summary();
  if (write.wrote) {
    ShowTransferCause();
    ShowStatus(StatusText(kMessagePane) + kCauseSeparator + summary);
  } else {
    ShowStatus(summary);
    if (!write.stopped) Sound(Beep::Error);
  }
  if (orderView_) orderView_->PollNow();
}

// The port is given up before the save dialog, which may stay open for long; the presence check
// stays out until the dialog has closed.
// The operation's result stands whatever the history does; the status line only says that
// it is not recorded, and standard error why.
void MainWindow::KeepInHistory(const PagerTransfer& transfer, const std::optional<QString>& serial) {
  if (!options_.history) return;
  const RecordResult kept = options_.history->Record(transfer, *link_, serial);
  for (const QString& warning : kept.warnings) std::fprintf(stderr, "m84dpt: %s\n", warning.toLocal8Bit().constData());
  if (!kept.kept) ShowStatus(StatusText(kMessagePane) + kNotInHistoryText);
}

// The memory is read on the transfer's thread; its save dialog comes once the thread has ended
// and given the port up (SaveDump).
void MainWindow::MemoryDumpCommand() {
  StartTransfer(TransferKind::Dump, [this](TransferHost& host) {
    const bool ready = link_->PresenceCheck() == AdapterState::Ready;
    dumped_ = ReadMemory(*link_, ready, host);
    return false;  // saved or not: SaveDump says
  });
}

// Still busy meanwhile: the presence check stays out until the dialog has closed.
void MainWindow::SaveDump() {
  if (!dumped_ || !*dumped_) return;
  const QString chosen = options_.dialogs->SaveFileName(this, kDumpDialogTitle, kDumpFilter);
  transferOk_ = SaveMemory(dumped_->value(), chosen, *this) == DumpOutcome::Saved;
}

void MainWindow::StartTransfer(TransferKind kind, std::function<bool(TransferHost&)> transfer) {
  if (busy_) return;
  transfer_ = kind;
  transferOk_ = false;
  read_.reset();
  written_.reset();
  dumped_.reset();
  busy_ = true;
  verifying_ = false;
  SetTransferControls(true);
  port_->SetHeldPortRetry(kHeldPortRetryMs);
  runner_->Start([this, transfer = std::move(transfer)](TransferHost& host) {
    transferOk_ = transfer(host);
    // Given up between exchanges: the command line may use the port while the window is idle.
    link_->ClosePort();
  });
}

// Everything the transfer said has been shown by now.
void MainWindow::OnTransferFinished() {
  // A stop question still open no longer stands: the status line says how the transfer ended.
  options_.questions->Withdraw();
  if (transfer_ == TransferKind::Dump) SaveDump();
  busy_ = false;
  TakeTransferredImage();
  if (transferOk_ && (transfer_ == TransferKind::Read || transfer_ == TransferKind::Write)) MarkPagesClean();
  const std::shared_ptr<OrderRowWrite> orderWrite = std::exchange(orderWrite_, nullptr);
  if (orderWrite)
    FinishOrderRow(*orderWrite);
  else
    ShowTransferCause();
  if (transfer_ == TransferKind::Read)
    KeepInHistory({HistoryOperation::Read, transferOk_, transferOk_ ? &data_ : nullptr, std::nullopt, dataFile_});
  else if (transfer_ == TransferKind::Review && transferOk_) {
    // The pager as it was before the write: the history keeps it as the backup.
    PagerData pager = data_;
    TakeRead(read_->value(), pager.image);
    KeepInHistory({HistoryOperation::Backup, true, &pager, std::nullopt, dataFile_});
  } else if (transfer_ == TransferKind::Write && !orderWrite) {
    // Never the pages' serial number for a write that failed before the pager held them.
    KeepInHistory({HistoryOperation::Write, transferOk_, &data_, std::nullopt, dataFile_},
                  written_ ? FailedWriteSerial(transferOk_, *written_, readBeforeWrite_) : std::nullopt);
  }
  SetTransferControls(false);
  if (closeWhenStopped_) {
    closeWhenStopped_ = false;
    pendingFile_.clear();
    // The user chose to close over the transfer's end already: nothing more is asked.
    closeConfirmed_ = true;
    close();
    closeConfirmed_ = false;
  }
  if (transfer_ == TransferKind::Review && transferOk_ && isVisible())
    QMetaObject::invokeMethod(this, &MainWindow::OfferReviewedWrite, Qt::QueuedConnection);
  if (!pendingFile_.isEmpty()) {
    const QString file = std::exchange(pendingFile_, QString());
    QMetaObject::invokeMethod(
        this, [this, file] { OpenFileAskingFirst(file); }, Qt::QueuedConnection);
  }
}

// The pager's contents after a read, or the kept serial number after a write, into the image,
// and the pages shown from it.
void MainWindow::TakeTransferredImage() {
  if (transfer_ == TransferKind::Read && read_ && *read_) {
    TakeRead(read_->value(), data_.image);
    ExchangeAllPages(Direction::Load);
  }
  if (!written_) return;
  TakeWrite(*written_, data_.image);
  if (written_->keptSerial) ExchangeAllPages(Direction::Load);
  if (written_->reachedVerify) ExchangeAllPages(Direction::Load);
}

// After the status text, what the command line would say: why it failed, and after a write that
// stopped part-way, which blocks are new.
void MainWindow::ShowTransferCause() {
  if (transferOk_) return;
  QStringList causes;
  if (!link_->LastCause().isEmpty()) causes << link_->LastCause();
  if (transfer_ == TransferKind::Write) {
    const QString held = DescribeWriteProgress(link_->LastWrite());
    if (!held.isEmpty()) causes << held;
  }
  if (!causes.isEmpty()) ShowStatus(StatusText(kMessagePane) + kCauseSeparator + causes.join(QStringLiteral("; ")));
}

// During a transfer every command and page control shows disabled, and the keyboard focus rests on
// the window, where only Escape does anything; the focus returns afterwards.
void MainWindow::SetTransferControls(bool transferring) {
  if (transferring) {
    focusBefore_ = QApplication::focusWidget();
    setFocus();
    enabledBefore_.clear();
    for (QPushButton* button : buttons_) {
      enabledBefore_.emplace_back(button, button->isEnabled());
      button->setEnabled(false);
    }
  } else {
    for (const auto& [button, enabled] : enabledBefore_) button->setEnabled(enabled);
  }
  tabStrip_->setEnabled(!transferring);
  Page(PageId::Basic)->setEnabled(!transferring);
  Button(kWriteButton)->setVisible(!transferring);
  Button(kReadButton)->setVisible(!transferring);
  cancel_->setVisible(transferring);
  SetServiceCommandsEnabled(!transferring && mode_ == DisplayMode::Advanced);
  SyncActions();
  if (!transferring && focusBefore_ && focusBefore_->isEnabled() && focusBefore_->isVisible()) focusBefore_->setFocus();
}

// Once every block is written, a stop only leaves the verify out: nothing to warn of.
bool MainWindow::ConfirmStop() {
  return transfer_ != TransferKind::Write || verifying_ || options_.questions->Confirm(this, kStopWriteQuestion);
}

void MainWindow::CancelTransfer() {
  if (busy_ && ConfirmStop()) runner_->RequestStop();
}

void MainWindow::BinaryCompareCommand() {
  BinaryCompare([this](const QString& title) { return options_.dialogs->OpenFileName(this, title, kCompareFilter); },
                std::nullopt, *this);
}

// The window's thread never waits for another program's hold on the port: the adapter pane shows it.
void MainWindow::CheckAdapterPresence() {
  port_->SetHeldPortRetry(0);
  const AdapterState state = link_->PresenceCheck();
  link_->ClosePort();
  ShowAdapterState(state);
  panes_[kAdapterPane]->setToolTip(state == AdapterState::Held ? link_->LastCause() : QString());
}

void MainWindow::ShowAdapterState(AdapterState state) {
  adapterReady_ = state == AdapterState::Ready;
  panes_[kAdapterPane]->setText(AdapterStateText(state));
  Button(kWriteButton)->setEnabled(adapterReady_);
  Button(kReadButton)->setEnabled(adapterReady_);
  SyncActions();
}

void MainWindow::OnTimerTick() {
  panes_[kClockPane]->setText(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")));
  if (!busy_ && !checkingPorts_) CheckAdapterPresence();
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

// A transfer is never cut in the middle of a block: a read or dump is stopped after it and the
// window closes then; a write asks first.
void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    if (!ConfirmStop()) return;
    if (busy_) {
      closeWhenStopped_ = true;
      runner_->RequestStop();
    } else {
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);  // ended while asking
    }
    return;
  }
  if (!closeConfirmed_ && !SettleUnsavedEdits()) {
    event->ignore();
    return;
  }
  ExchangeAllPages(Direction::Store);
  link_->ClosePort();
  event->accept();
}

// Drags go to the control under the pointer first (an edit would take the file's name as text):
// a settings file is the window's wherever it is dropped.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  const QString file = DroppedSettingsFile(drop->mimeData());
  if (file.isEmpty() || busy_) return false;
  drop->acceptProposedAction();
  if (type == QEvent::Drop) {
    // After the drag has ended: the question and the load must not run inside it.
    QMetaObject::invokeMethod(
        this, [this, file] { OpenFileAskingFirst(file); }, Qt::QueuedConnection);
  }
  return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      if (busy_)
        CancelTransfer();
      else
        close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: return;  // Enter never closes the window
    default: QWidget::keyPressEvent(event);
  }
}

void MainWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (tabPagesBuilt_ || tabPagesQueued_) return;
  tabPagesQueued_ = true;
  QTimer::singleShot(0, this, &MainWindow::BuildTabPages);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("&About M84DPT..."), this, &MainWindow::ShowAbout);
  menu.exec(event->globalPos());
}

void MainWindow::ShowText(const QString& title, const QString& text) {
  QDialog box(this);
  box.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&box);
  auto* view = new QPlainTextEdit(text, &box);
  view->setReadOnly(true);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setMinimumSize(520, 240);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &box);
  connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  layout->addWidget(buttons);
  box.exec();
}

void MainWindow::ShowAbout() {
  QDialog box(this);
  box.setWindowTitle(QStringLiteral("About M84DPT"));
  auto* layout = new QVBoxLayout(&box);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(&box);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  row->addWidget(icon);
  row->addWidget(new QLabel(kAboutText, &box));
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

}  // namespace m84
