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
#include <vector>

#include "history/pager_history.h"
#include "image/operation_host.h"
#include "link/adapter_link.h"
#include "pages/model_page_set.h"
#include "ui/pages/settings_page.h"
#include "ui/beeps.h"
#include "ui/file_dialogs.h"

class QProgressBar;
class QPushButton;
class QShortcut;

namespace m84 {

class FirmwareStatus;
class LineObserver;
class MouseGuard;
class SerialPort;
class TabStrip;

struct WindowOptions {
  // Tests replace the dialogs and the tone output.
  std::shared_ptr<FileDialogs> dialogs;
  std::shared_ptr<TonePlayer> tones;
  // The adapter's port (a device path or port name); empty: M84DPT_PORT, else the first USB serial port.
  QString portName;
  // Sees every byte on the adapter line (the --trace option); nothing: no trace.
  std::shared_ptr<LineObserver> lineObserver;
  // Where every pager read and write is recorded; nothing: no record kept.
  std::shared_ptr<PagerHistory> history;
};

class MainWindow : public QWidget, public TransferHost, public PageHost {
  Q_OBJECT
 public:
  explicit MainWindow(PagerData& data, WindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  static const QString kTitle;

  // OperationHost and PageHost: the status line, the beeps, the progress bar, the pages.
  void ShowStatus(const QString& text) override;
  void Sound(Beep beep) override;
  void SetProgress(int position) override;
  void ExchangeAllPages(Direction direction) override;
  // TransferHost: the General page's keep-serial-number box as shown; repaint during transfers.
  bool KeepSerialNumber() override;
  void Pump() override;

  DisplayMode Mode() const { return mode_; }
  void SwitchToAdvancedMode();
  void SwitchToBasicMode();
  // PageHost: the Basic page accepted the advance-setting password.
  void RequestAdvancedMode() override;
  // The page the mouse guard asks about left clicks and keys that leave it: the tab page shown
  // in advanced mode.
  SettingsPage* ShownTabPage() const;

  // Raises the window (restored when minimised), then the dialog it shows, if any.
  void BringToFront();

  // The commands of the buttons.
  void LoadDataFileCommand();
  void SaveDataFileCommand();
  void PrintCommand();
  void ReadCommand();
  void WriteCommand();
  // The service commands.
  void MemoryDumpCommand();
  void BinaryCompareCommand();
  // The once-a-second presence check: pane 3 and the "&Write" and "&Read" buttons.
  void CheckAdapterPresence();
  // Pane 3 and the transfer buttons for an adapter state.
  void ShowAdapterState(AdapterState state);

  QString StatusText(int pane) const;
  SettingsPage* Page(PageId id) const { return pages_[static_cast<size_t>(id)]; }
  QPushButton* Button(const QString& label) const;
  bool Busy() const { return busy_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CreateButtons();
  void CreateStatusLine();
  void CreatePages();
  void CreateServiceCommands();
  void SetServiceCommandsEnabled(bool enabled);
  void OnTabSelected(int index);
  void OnTimerTick();
  void ShowAbout();
  QRect DialogRect(int x, int y, int w, int h) const;
  void KeepInHistory(const PagerTransfer& transfer);

  PagerData& data_;
  WindowOptions options_;
  ModelPageSet models_;
  DisplayMode mode_ = DisplayMode::Basic;
  bool busy_ = false;
  QString dataFile_;  // the data file last loaded or saved, for the history

  double dluX_ = 1.5;
  double dluY_ = 2.0;
  TabStrip* tabStrip_ = nullptr;
  std::array<SettingsPage*, kTabPageCount + 1> pages_{};
  std::array<QLabel*, 6> panes_{};
  QProgressBar* progress_ = nullptr;
  QTimer clock_;
  MouseGuard* mouseGuard_ = nullptr;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<AdapterLink> link_;
  bool adapterReady_ = false;
  std::unique_ptr<FirmwareStatus> firmware_;
  std::vector<QShortcut*> serviceCommands_;
};

}  // namespace m84
