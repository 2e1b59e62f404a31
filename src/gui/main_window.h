#pragma once
// The program's only top-level window: command buttons, the pages (the Basic page, or the twelve
// tab pages in the tab strip), the status line with progress bar and clock.

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/history/pager_history.h"
#include "core/image/operation_host.h"
#include "core/link/adapter_link.h"
#include "core/pages/model_page_set.h"
#include "core/preferences.h"
#include "gui/beeps.h"
#include "gui/file_dialogs.h"
#include "gui/pages/settings_page.h"
#include "gui/questions.h"

class QAction;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QShortcut;
class QUrl;

namespace m84 {

class FirmwareStatus;
class LineObserver;
class MouseGuard;
class OrderView;
struct OrderRowWrite;
class SerialPort;
class TabStrip;
class TestPageDialog;
class TransferRunner;

struct WindowOptions {
  // Tests replace the dialogs and the tone output.
  std::shared_ptr<FileDialogs> dialogs;
  std::shared_ptr<TonePlayer> tones;
  // The adapter's port (a device path or port name); empty: M84DPT_PORT, else the first USB serial port.
  QString portName;
  // Sees every byte on the adapter line (the --trace option); nothing: no trace.
  std::shared_ptr<LineObserver> lineObserver;
  // Tests answer the window's yes-or-no questions.
  std::shared_ptr<Questions> questions;
  // Where every pager read and write is recorded; nothing: no record kept.
  std::shared_ptr<PagerHistory> history;
  // Where the recent files are kept between runs; nothing: for this run only.
  std::shared_ptr<const PreferenceStore> preferences;
  // The history the History menu lists; nothing: no History menu.
  std::optional<HistoryLocation> historyLocation;
  // The installed guide's first page; empty: the installed place.
  QString guidePath;
  // Opens the guide's page in the desktop's viewer; nothing: the desktop's own handler.
  std::function<bool(const QUrl&)> openUrl;
};

class MainWindow : public QWidget, public TransferHost, public PageHost, public PageExchange {
  Q_OBJECT
 public:
  explicit MainWindow(PagerData& data, WindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  static const QString kTitle;

  // OperationHost and PageHost: the status line, the beeps, the progress bar.
  void ShowStatus(const QString& text) override;
  void Sound(Beep beep) override;
  void SetProgress(int position) override;
  // The pages shown (the Basic page, or the twelve tab pages) into the image or from it.
  void ExchangeAllPages(Direction direction) override;
  void ShowWarning(const QString& text) override;
  void ShowFileProblem(const QString& path, const QString& reason) override;

  DisplayMode Mode() const { return mode_; }
  void SwitchToAdvancedMode();
  void SwitchToBasicMode();
  // PageHost: the Basic page accepted the advance-setting password.
  void RequestAdvancedMode() override;
  // Before a command that stores the pages: the control with the focus is left as the user
  // leaves it; false when its check refused the text and the command must not go on.
  bool LeaveFocusedControl();
  // The page the mouse guard asks about left clicks and keys that leave it: the tab page shown
  // in advanced mode.
  SettingsPage* ShownTabPage() const;

  // Raises the window (restored when minimised), then the dialog it shows, if any.
  void BringToFront();

  // A file given at start (a double-click in a file manager): a raw image when its extension is
  // BIN, a settings text when it is yaml or yml, else a data file, loaded as "&Load" would.
  void OpenFile(const QString& path);
  // A file handed over by a later start of the program, or dropped on the window: the window
  // comes to the front and asks about unsaved edits first. During a transfer the file waits
  // for its end.
  void OpenFileAskingFirst(const QString& path);
  // The pages hold edits that no file, read or write holds since they were last loaded, saved,
  // read or written.
  bool HasUnsavedEdits() const;
  // The data file loaded or saved last, absolute; empty before the first.
  QString DataFile() const { return dataFile_; }

  // The commands of the buttons.
  void LoadDataFileCommand();
  void SaveDataFileCommand();
  void PrintCommand();
  void ReadCommand();
  void WriteCommand();
  // The service commands.
  void MemoryDumpCommand();
  void BinaryCompareCommand();
  // Cancel (and Escape) while a read, write or dump runs: a read or dump stops after the block
  // in progress; a write asks first.
  void CancelTransfer();
  // The once-a-second presence check: the adapter pane and the "&Write" and "&Read" buttons. The
  // port and its lock are given up again at once, for the command line to use meanwhile.
  void CheckAdapterPresence();
  // The adapter pane and the transfer buttons for an adapter state.
  void ShowAdapterState(AdapterState state);

  // The status line's panes, left to right.
  enum StatusPane : int { kIconPane, kMessagePane, kProgressPane, kAdapterPane, kVersionPane, kClockPane, kPaneCount };
  QString StatusText(StatusPane pane) const;
  QString StatusTip(StatusPane pane) const;
  // What the message pane shows of its text: all of it, or the text with its middle elided.
  QString ShownStatusText() const;
  // A tab page is built the first time anything asks for it, if not already after the first paint.
  SettingsPage* Page(PageId id) const;
  // The command buttons, left to right.
  enum CommandButton : int { kPrintButton, kSaveButton, kLoadButton, kWriteButton, kReadButton, kButtonCount };
  QPushButton* Button(CommandButton button) const { return buttons_[button]; }
  // Shown in the transfer buttons' place while a read, write or dump runs.
  QPushButton* CancelButton() const { return cancel_; }
  // True while a read, write or dump runs (on its own thread).
  bool Busy() const { return busy_; }

  // The menu bar's commands. A command a button has too is the same action, triggered by the
  // button.
  enum MenuCommand : int {
    kOpenCommand,
    kSaveCommand,
    kSaveTextCommand,
    kPrintCommand,
    kPrintPdfCommand,
    kQuitCommand,
    kReadCommand,
    kWriteCommand,
    kReviewWriteCommand,
    kReviewEveryWriteCommand,
    kCancelCommand,
    kDumpCommand,
    kAdapterPortsCommand,
    kCheckConnectionCommand,
    kHistoryCommand,
    kCompareMemoryCommand,
    kCompareSettingsCommand,
    kGuideCommand,
    kKeysCommand,
    kAboutCommand,
    kOpenOrderCommand,
    kTestPageCommand,
    kMenuCommandCount
  };
  QAction* Action(MenuCommand command) const { return actions_[command]; }
  QMenuBar* MenuBar() const { return menuBar_; }
  QMenu* RecentMenu() const { return recentMenu_; }
  // The recent files, the latest first.
  QStringList RecentFiles() const { return recent_; }
  // The commands beside the buttons' own.
  void SaveTextCommand();
  // Reads the pager first (kept in the history as a read: the backup), shows the settings the
  // write will change, and writes on Write.
  void ReviewWriteCommand();
  void PrintPdfCommand();
  void CompareSettingsCommand();
  // History, Records...: the history dialog over the pages.
  void HistoryCommand();
  // Pager, Adapter Ports... and Check the Connection...: `m84dpt ports` and `m84dpt doctor` on
  // the window's port, run aside while the box says so.
  void AdapterPortsCommand();
  void CheckConnectionCommand();
  // Fleet, Open Order...: the order's rows beside the window; while they are shown, Write
  // programs the order's next row.
  void OpenOrderCommand();
  OrderView* OpenOrder() const;
  void ShowGuide();
  void ShowKeys();
  // Tools, Test Page...: the box that checks a page against the settings on screen, made the
  // first time it is asked for.
  void TestPageCommand();
  TestPageDialog* TestPageBox() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void AddRecentFile(const QString& path);
  void FillRecentMenu();
  // The actions a button shares follow its state; the service commands follow the mode.
  void SyncActions();
  void CreateButtons();
  void CreateStatusLine();
  void CreatePages();
  void BuildTabPages();
  void CreateServiceCommands();
  void SetServiceCommandsEnabled(bool enabled);
  // The end of a switch either way, once the pages are shown: the models take the mode, the pages
  // load from the image, and the mouse guard and the service keys come with Advanced only.
  void EnterMode(DisplayMode mode);
  void OnTabSelected(int index);
  void OnTimerTick();
  enum class TransferKind { Read, Write, Dump, Review };
  // readBefore: the pager's serial number as a review just read it.
  void StartWrite(const std::optional<QByteArray>& readBefore = std::nullopt);
  void WriteOrderRow();
  void LoadOrderRow(const PagerData& row);
  void FinishOrderRow(const OrderRowWrite& write);
  // After the review's read: the changes shown, and the write started on Write.
  void OfferReviewedWrite();
  void StartTransfer(TransferKind kind, std::function<bool(TransferHost&)> transfer);
  void OnTransferFinished();
  void TakeTransferredImage();
  void SaveDump();
  void SetTransferControls(bool transferring);
  bool ConfirmStop();
  void ShowTransferCause();
  void ShowAbout();
  void RunAdapterCheck(const QString& title, std::function<QString()> check);
  // The text of a dialog's box: a title and lines in a fixed-pitch font.
  void ShowText(const QString& title, const QString& text);
  QRect DialogRect(int x, int y, int w, int h) const;
  void KeepInHistory(const PagerTransfer& transfer, const std::optional<QString>& serial = std::nullopt);
  // Loads the file into the pages; a refusal names its reason after the status text.
  void LoadFile(const QString& path);
  bool SaveToChosenFile();
  bool SaveTo(const QString& path);
  // Before a command that replaces the pages or ends the window: false when the user cancelled,
  // or chose to save and the save did not happen.
  bool SettleUnsavedEdits();
  // The pages that exist in the mode shown.
  QList<QWidget*> ShownPages() const;
  // What the pages show now is what the last load, save, read or write left.
  void MarkPagesClean();
  // Around something that moves the pages' values without the user (a mode switch, a tab
  // change, a store): whether they held edits before is kept.
  void KeepEditsAcross(const std::function<void()>& change);
  // What the pages show now counts as clean, and edited says whether they held edits before.
  void RebaseEdits(bool edited);
  void UpdateTitle();

  PagerData& data_;
  WindowOptions options_;
  ModelPageSet models_;
  DisplayMode mode_ = DisplayMode::Basic;
  bool busy_ = false;
  QString dataFile_;  // the data file last loaded or saved, absolute: the title and the history
  class PageEdits* edits_ = nullptr;
  QStringList cleanPages_;     // what the pages showed when they were last clean
  bool editsCarried_ = false;  // edits made before a mode switch or a store
  QString pendingFile_;        // handed over during a transfer
  QString problemAt_;          // the file, or its line and column, a load's refusal names
  bool verifying_ = false;     // the write's blocks are all written; the verify reads them back

  // A ports or connection check has the ports: no presence check meanwhile.
  bool checkingPorts_ = false;

  double dluX_ = 1.5;
  double dluY_ = 2.0;
  TabStrip* tabStrip_ = nullptr;
  std::array<SettingsPage*, kTabPageCount + 1> pages_{};
  bool tabPagesBuilt_ = false;
  bool tabPagesQueued_ = false;
  std::array<QLabel*, kPaneCount> panes_{};
  std::array<QPushButton*, kButtonCount> buttons_{};
  QMenuBar* menuBar_ = nullptr;
  int menuHeight_ = 0;
  std::array<QAction*, kMenuCommandCount> actions_{};
  QMenu* recentMenu_ = nullptr;
  QStringList recent_;
  QProgressBar* progress_ = nullptr;
  QTimer clock_;
  MouseGuard* mouseGuard_ = nullptr;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<AdapterLink> link_;
  bool adapterReady_ = false;
  std::unique_ptr<FirmwareStatus> firmware_;
  std::vector<QShortcut*> serviceCommands_;
  // Declared after the link it drives, so that it goes first.
  std::unique_ptr<TransferRunner> runner_;
  TransferKind transfer_ = TransferKind::Read;
  // Written by the transfer's thread, read once it has ended.
  bool transferOk_ = false;
  std::optional<Result<PagerImage>> read_;
  std::optional<WriteResult> written_;
  // The serial number of the pager being written, where it was read before the write.
  std::optional<QByteArray> readBeforeWrite_;
  std::optional<Result<PagerImage>> dumped_;
  bool closeWhenStopped_ = false;
  bool closeConfirmed_ = false;
  QPushButton* cancel_ = nullptr;
  QMenu* fleetMenu_ = nullptr;
  QPointer<OrderView> orderView_;
  QPointer<TestPageDialog> testPage_;
  // The order's row being written: set by the transfer's thread, read once it has ended.
  std::shared_ptr<OrderRowWrite> orderWrite_;
  std::vector<std::pair<QPushButton*, bool>> enabledBefore_;
  QPointer<QWidget> focusBefore_;
};

}  // namespace m84
