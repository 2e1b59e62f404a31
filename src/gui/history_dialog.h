#pragma once
// History, Records...: the pagers read and written, newest first, filtered by serial number,
// capcode and date as the user types; for the record chosen, its settings, how they differ from
// the pages, loading them into the pages and saving them as a file. A store that cannot be
// reached says why in the dialog; the window goes on.

#include <QDialog>
#include <functional>
#include <memory>

#include "core/history/history_store.h"

class QLabel;
class QLineEdit;
class QDateEdit;
class QCheckBox;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace m84 {

class HistoryDialog : public QDialog {
  Q_OBJECT
 public:
  struct Hooks {
    // The pages' settings, as a write would take them.
    std::function<PagerData()> pages;
    // Loads the settings into the pages (asking about unsaved edits first); false when it did not.
    std::function<bool(const PagerData& data)> load;
    // A file name to save to; empty: cancelled.
    std::function<QString()> saveName;
    // A text shown in a box of its own.
    std::function<void(const QString& title, const QString& text)> show;
  };
  // The newest records the table holds at most; the filters reach further back.
  static constexpr int kShownRecords = 500;

  HistoryDialog(const HistoryLocation& location, Hooks hooks, QWidget* parent = nullptr);
  ~HistoryDialog() override;

  // The store's records for the filters as they stand; false, with the reason shown, when the
  // store cannot be reached.
  bool Refresh();
  int RowCount() const;
  // The shown row's record id (after sorting).
  qint64 RecordId(int row) const;
  void SelectRow(int row);
  QString Problem() const;
  QLineEdit* SerialFilter() const { return serial_; }
  QLineEdit* CapcodeFilter() const { return capcode_; }

  void ShowSettings();
  void CompareWithPages();
  void LoadIntoPages();
  void SaveAsFile();

 private:
  std::optional<HistoryRecord> Chosen();

  HistoryStore store_;
  Hooks hooks_;
  QStandardItemModel* model_ = nullptr;
  QSortFilterProxyModel* sorted_ = nullptr;
  QTableView* table_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QLineEdit* capcode_ = nullptr;
  QCheckBox* sinceOn_ = nullptr;
  QDateEdit* since_ = nullptr;
  QLabel* problem_ = nullptr;
};

}  // namespace m84
