#pragma once
// The programming history in the window: the records newest first, filtered as the person types
// and sorted by any column, a page at a time from the store; for the record chosen, its settings,
// how they differ from the pages', loading them into the pages and saving them as a file.
//
//   HistoryDialog::Pages pages{[this] { return PagesData(); }, [this](const PagerData& d) { return LoadPages(d); }};
//   HistoryDialog dialog(DefaultHistoryLocation(preference), pages, dialogs, this);
//   dialog.exec();
//
// A store that cannot be reached leaves the dialog empty with the reason shown; nothing of it
// reaches the caller.

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/history/history_page.h"
#include "core/history/history_store.h"
#include "core/image/pager_image.h"

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace m84 {

class FileDialogs;

// The records as the store's pages give them: a page more each time the view scrolls to the end.
class HistoryTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // In the order HistoryPageQuery::Sort names them.
  enum Column { kTime, kOperation, kOutcome, kSerial, kCapcodes, kUser, kHost, kFile, kOrderRow, kId, kColumnCount };
  static constexpr int kPageSize = 100;

  explicit HistoryTableModel(HistoryStore& store, QObject* parent = nullptr);

  // Starts over with the first page of the query's records.
  void SetQuery(const HistoryPageQuery& query);
  const HistoryPageQuery& Query() const { return query_; }
  // Nothing for a row not fetched.
  const HistoryPageRow* RowAt(int row) const;
  // The reason the last page could not be fetched; empty when it was.
  QString LastFailure() const { return failure_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  void sort(int column, Qt::SortOrder order) override;

 signals:
  // After every fetch: the reason it failed, or empty.
  void FetchEnded(const QString& failure);

 private:
  void FetchPage();

  HistoryStore& store_;
  HistoryPageQuery query_;
  std::vector<HistoryPageRow> rows_;
  bool complete_ = false;
  QString failure_;
};

class HistoryDialog : public QDialog {
  Q_OBJECT
 public:
  // The window's side: its pages' settings as they stand (stored from the controls), and a load
  // of settings into them, false when it did not happen (the person kept unsaved edits).
  struct Pages {
    std::function<PagerData()> current;
    std::function<bool(const PagerData&)> load;
  };

  HistoryDialog(HistoryLocation location, Pages pages, std::shared_ptr<FileDialogs> dialogs, QWidget* parent = nullptr);
  ~HistoryDialog() override;

  // Connects again and lists from the start with the filters as they stand.
  void Refresh();

  // The commands for the record chosen in the table; each says what it did in the dialog.
  void ShowSettings();
  void CompareWithPages();
  void LoadIntoPages();
  void SaveAs();

  // The rows fetched so far, and the record id of one as the table shows it.
  int RowCount() const { return model_->rowCount(); }
  qint64 RecordId(int row) const;
  void SelectRow(int row);

  HistoryTableModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  QLineEdit* SerialFilter() const { return serial_; }
  QLineEdit* CapcodeFilter() const { return capcode_; }
  QLineEdit* DateFilter() const { return date_; }
  QLineEdit* OrderFilter() const { return order_; }
  QCheckBox* SinceFilter() const { return sinceOn_; }
  QDateEdit* SinceDate() const { return since_; }
  // The settings text or the differences of the last command.
  QString DetailText() const;
  // The store's failure or the last command's outcome.
  QString StatusText() const;

 private:
  void ApplyFilters();
  void UpdateCommands();
  void ShowStatusText(const QString& text);
  // The chosen record with its image; the status says why there is none.
  std::optional<HistoryRecord> ChosenRecord();

  std::unique_ptr<HistoryStore> store_;
  Pages pages_;
  std::shared_ptr<FileDialogs> dialogs_;
  HistoryTableModel* model_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QLineEdit* capcode_ = nullptr;
  QLineEdit* date_ = nullptr;
  QLineEdit* order_ = nullptr;
  QCheckBox* sinceOn_ = nullptr;
  QDateEdit* since_ = nullptr;
  QTableView* table_ = nullptr;
  QPlainTextEdit* detail_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* show_ = nullptr;
  QPushButton* compare_ = nullptr;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace m84
