#include "gui/history_dialog.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

const QStringList kColumns{QStringLiteral("Time"),   QStringLiteral("Operation"), QStringLiteral("Outcome"),
                           QStringLiteral("Serial"), QStringLiteral("Capcodes"),  QStringLiteral("User"),
                           QStringLiteral("Host"),   QStringLiteral("File"),      QStringLiteral("Id")};
constexpr int kIdColumn = 8;

struct SilentHost : OperationHost {
  QString problem;
  void ShowStatus(const QString&) override {}
  void Sound(Beep) override {}
  void ShowFileProblem(const QString& path, const QString& reason) override { problem = path + ": " + reason; }
};

}  // namespace

HistoryDialog::HistoryDialog(const HistoryLocation& location, Hooks hooks, QWidget* parent)
    : QDialog(parent), store_(location), hooks_(std::move(hooks)) {
  setWindowTitle(QStringLiteral("History"));
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  serial_ = new QLineEdit(this);
  serial_->setPlaceholderText(QStringLiteral("Serial number"));
  serial_->setAccessibleName(QStringLiteral("Serial number filter"));
  capcode_ = new QLineEdit(this);
  capcode_->setPlaceholderText(QStringLiteral("Capcode"));
  capcode_->setAccessibleName(QStringLiteral("Capcode filter"));
  sinceOn_ = new QCheckBox(QStringLiteral("S&ince"), this);
  since_ = new QDateEdit(QDate::currentDate().addMonths(-1), this);
  since_->setCalendarPopup(true);
  since_->setAccessibleName(QStringLiteral("Since date"));
  filters->addWidget(serial_);
  filters->addWidget(capcode_);
  filters->addWidget(sinceOn_);
  filters->addWidget(since_);
  layout->addLayout(filters);
  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->hide();
  layout->addWidget(problem_);

  model_ = new QStandardItemModel(0, kColumns.size(), this);
  model_->setHorizontalHeaderLabels(kColumns);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(Qt::UserRole);
  table_ = new QTableView(this);
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(kIdColumn, Qt::DescendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setMinimumSize(760, 320);
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(this);
  const auto add = [&](const QString& text, void (HistoryDialog::*run)()) {
    QPushButton* button = buttons->addButton(text, QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, run);
  };
  add(QStringLiteral("Show &Settings"), &HistoryDialog::ShowSettings);
  add(QStringLiteral("&Compare with Pages"), &HistoryDialog::CompareWithPages);
  add(QStringLiteral("&Load into Pages"), &HistoryDialog::LoadIntoPages);
  add(QStringLiteral("Save &as File..."), &HistoryDialog::SaveAsFile);
  buttons->addButton(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  // The filters apply as the user types.
  connect(serial_, &QLineEdit::textChanged, this, &HistoryDialog::Refresh);
  connect(capcode_, &QLineEdit::textChanged, this, &HistoryDialog::Refresh);
  connect(sinceOn_, &QCheckBox::toggled, this, &HistoryDialog::Refresh);
  connect(since_, &QDateEdit::dateChanged, this, &HistoryDialog::Refresh);
  Refresh();
}

HistoryDialog::~HistoryDialog() = default;

bool HistoryDialog::Refresh() {
  sorted_->setSourceModel(nullptr);
  model_->setRowCount(0);
  sorted_->setSourceModel(model_);
  if (!store_.IsOpen()) {
    if (const Outcome opened = store_.Open(); !opened) {
      problem_->setText(QStringLiteral("The history cannot be read: ") + opened.failure().Text());
      problem_->show();
      return false;
    }
  }
  HistoryFilter filter;
  filter.serial = serial_->text().trimmed();
  bool isNumber = false;
  const int capcode = capcode_->text().trimmed().toInt(&isNumber);
  if (isNumber) filter.capcode = capcode;
  if (sinceOn_->isChecked()) filter.since = QDateTime(since_->date(), QTime(0, 0));
  filter.limit = kShownRecords;
  const Result<std::vector<HistoryRecord>> listed = store_.List(filter);
  if (!listed) {
    problem_->setText(QStringLiteral("The history cannot be read: ") + listed.failure().Text());
    problem_->show();
    return false;
  }
  problem_->hide();
  const std::vector<HistoryRecord>& records = *listed;
  // Filled apart from the view: a sorted view re-sorts at every item set, thousands of times.
  sorted_->setSourceModel(nullptr);
  model_->setRowCount(int(records.size()));
  for (int row = 0; row < int(records.size()); ++row) {
    const HistoryRecord& r = records[size_t(row)];
    const QVariant values[] = {r.time, r.operation, r.outcome, r.serial, CapcodeList(r), r.user, r.host, r.file, r.id};
    const QString texts[] = {r.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             r.operation,
                             r.outcome,
                             r.serial,
                             CapcodeList(r),
                             r.user,
                             r.host,
                             r.file,
                             QString::number(r.id)};
    for (int column = 0; column < kColumns.size(); ++column) {
      auto* item = new QStandardItem(texts[column]);
      item->setData(values[column], Qt::UserRole);
      model_->setItem(row, column, item);
    }
  }
  sorted_->setSourceModel(model_);
  const QHeaderView* header = table_->horizontalHeader();
  sorted_->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
  return true;
}

int HistoryDialog::RowCount() const { return sorted_->rowCount(); }

qint64 HistoryDialog::RecordId(int row) const { return sorted_->index(row, kIdColumn).data(Qt::UserRole).toLongLong(); }

void HistoryDialog::SelectRow(int row) { table_->selectRow(row); }

QString HistoryDialog::Problem() const { return problem_->isHidden() ? QString() : problem_->text(); }

std::optional<HistoryRecord> HistoryDialog::Chosen() {
  const QModelIndexList rows = table_->selectionModel()->selectedRows(kIdColumn);
  if (rows.isEmpty()) return std::nullopt;
  const Result<std::optional<HistoryRecord>> found = store_.Find(rows.first().data(Qt::UserRole).toLongLong());
  if (!found) {
    hooks_.show(windowTitle(), found.failure().Text());
    return std::nullopt;
  }
  if (!*found || !(*found)->data) {
    hooks_.show(windowTitle(), QStringLiteral("The record keeps no settings: the read failed."));
    return std::nullopt;
  }
  return **found;
}

void HistoryDialog::ShowSettings() {
  if (const std::optional<HistoryRecord> record = Chosen())
    hooks_.show(QStringLiteral("Record %1").arg(record->id), QString::fromUtf8(WriteSettingsDocument(*record->data)));
}

void HistoryDialog::CompareWithPages() {
  const std::optional<HistoryRecord> record = Chosen();
  if (!record) return;
  const QStringList lines = SettingsDifferences(StoredByThePages(*record->data), StoredByThePages(hooks_.pages()));
  hooks_.show(QStringLiteral("Record %1 and the pages").arg(record->id),
              lines.isEmpty() ? kNoSettingDiffers : lines.join(QLatin1Char('\n')));
}

void HistoryDialog::LoadIntoPages() {
  if (const std::optional<HistoryRecord> record = Chosen()) hooks_.load(*record->data);
}

void HistoryDialog::SaveAsFile() {
  const std::optional<HistoryRecord> record = Chosen();
  if (!record) return;
  const QString path = hooks_.saveName();
  if (path.isEmpty()) return;
  SilentHost host;
  if (const Outcome saved = SaveSettingsFile(path, *record->data, host); !saved)
    hooks_.show(windowTitle(), host.problem.isEmpty() ? saved.failure().Text() : host.problem);
}

}  // namespace m84
