#include "gui/history_dialog.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "core/image/dat_file.h"
#include "core/image/operation_host.h"
#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"
#include "gui/file_dialogs.h"

namespace m84 {

namespace {

const QString kTitle = QStringLiteral("Programming History");
const QString kSaveFilter = QStringLiteral("Data File (*.DAT);;Settings Text (*.yaml *.yml);;All File (*.*)");
// As the command line's listing gives the time.
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// A capcode has at most seven digits; a time is typed as the listing shows it.
const QString kCapcodePattern = QStringLiteral("[0-9]{0,7}");
const QString kTimePattern = QStringLiteral("[0-9][0-9 T:.-]*");
constexpr int kTableShare = 3;  // the table's part of the height, the detail pane's is 1

const char* const kHeadings[HistoryTableModel::kColumnCount] = {
    "Time (UTC)", "Operation", "Outcome", "Serial Number", "Capcodes", "User", "Host", "File", "Order Row", "Id"};

QString CellText(const HistoryPageRow& row, int column) {
  const HistoryRecord& record = row.record;
  switch (column) {
    case HistoryTableModel::kTime: return record.time.toUTC().toString(kTimeFormat);
    case HistoryTableModel::kOperation: return record.operation;
    case HistoryTableModel::kOutcome: return record.outcome;
    case HistoryTableModel::kSerial: return record.serial;
    case HistoryTableModel::kCapcodes: return CapcodeList(record);
    case HistoryTableModel::kUser: return record.user;
    case HistoryTableModel::kHost: return record.host;
    case HistoryTableModel::kFile: return record.file;
    case HistoryTableModel::kOrderRow:
      return row.orderRow ? QStringLiteral("%1, row %2").arg(row.orderName).arg(*row.orderRow) : QString();
    case HistoryTableModel::kId: return QString::number(record.id);
    default: return {};
  }
}

// A save's status text and its reason, for the dialog's status line.
class SaveHost : public OperationHost {
 public:
  void ShowStatus(const QString& text) override { status = text; }
  void Sound(Beep) override {}
  void ShowFileProblem(const QString& path, const QString& reason) override {
    problem = QStringLiteral("%1: %2").arg(path, reason);
  }
  void ShowFileSaved(const QString& path) override { problem = QStringLiteral("saved %1").arg(path); }

  QString status;
  QString problem;
};

}  // namespace

// ---- the table ----

HistoryTableModel::HistoryTableModel(HistoryStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {}

void HistoryTableModel::SetQuery(const HistoryPageQuery& query) {
  beginResetModel();
  query_ = query;
  rows_.clear();
  complete_ = false;
  failure_.clear();
  Result<std::vector<HistoryPageRow>> page = store_.ListPage(query_, 0, kPageSize);
  if (page) {
    rows_ = std::move(page).value();
    complete_ = int(rows_.size()) < kPageSize;
  } else {
    failure_ = page.failure().reason;
    complete_ = true;
  }
  endResetModel();
  emit FetchEnded(failure_);
}

const HistoryPageRow* HistoryTableModel::RowAt(int row) const {
  return row >= 0 && row < int(rows_.size()) ? &rows_[size_t(row)] : nullptr;
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int HistoryTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
  const HistoryPageRow* row = RowAt(index.row());
  if (!row || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  return CellText(*row, index.column());
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
  return QLatin1String(kHeadings[section]);
}

bool HistoryTableModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !complete_; }

void HistoryTableModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  FetchPage();
}

void HistoryTableModel::FetchPage() {
  Result<std::vector<HistoryPageRow>> page =
      store_.ListPage(query_, int(rows_.size()), kPageSize, rows_.empty() ? nullptr : &rows_.back());
  if (!page) {
    failure_ = page.failure().reason;
    complete_ = true;
    emit FetchEnded(failure_);
    return;
  }
  failure_.clear();
  complete_ = int(page->size()) < kPageSize;
  if (!page->empty()) {
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(page->size()) - 1);
    for (HistoryPageRow& row : page.value()) rows_.push_back(std::move(row));
    endInsertRows();
  }
  emit FetchEnded(failure_);
}

void HistoryTableModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumnCount) return;
  HistoryPageQuery query = query_;
  query.sort = HistoryPageQuery::Sort(column);
  query.descending = order == Qt::DescendingOrder;
  SetQuery(query);
}

// ---- the dialog ----

HistoryDialog::HistoryDialog(HistoryLocation location, Pages pages, std::shared_ptr<FileDialogs> dialogs,
                             QWidget* parent)
    : QDialog(parent),
      store_(std::make_unique<HistoryStore>(std::move(location))),
      pages_(std::move(pages)),
      dialogs_(dialogs ? std::move(dialogs) : std::make_shared<QtFileDialogs>()) {
  setWindowTitle(kTitle);
  model_ = new HistoryTableModel(*store_, this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setAccessibleName(QStringLiteral("History status"));
  // Before the first fetch, so that a store that cannot be reached says why.
  connect(model_, &HistoryTableModel::FetchEnded, this, [this](const QString& failure) {
    if (!failure.isEmpty()) ShowStatusText(QStringLiteral("The history cannot be read: %1").arg(failure));
  });

  auto* filters = new QHBoxLayout;
  const auto addFilter = [&](const QString& label, const QString& name, const QString& pattern,
                             const QString& placeholder) {
    auto* edit = new QLineEdit(this);
    edit->setAccessibleName(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    auto* caption = new QLabel(label, this);
    caption->setBuddy(edit);
    filters->addWidget(caption);
    filters->addWidget(edit, 1);
    connect(edit, &QLineEdit::textChanged, this, &HistoryDialog::ApplyFilters);
    return edit;
  };
  serial_ = addFilter(QStringLiteral("Serial &number:"), QStringLiteral("Serial number filter"), QStringLiteral("\\S*"),
                      QStringLiteral("starts with"));
  capcode_ = addFilter(QStringLiteral("&Capcode:"), QStringLiteral("Capcode filter"), kCapcodePattern,
                       QStringLiteral("enabled in any row"));
  date_ = addFilter(QStringLiteral("&Date (UTC):"), QStringLiteral("Date filter"), kTimePattern,
                    QStringLiteral("2026-03-01"));
  order_ = addFilter(QStringLiteral("O&rder:"), QStringLiteral("Order filter"), QStringLiteral(".*"),
                     QStringLiteral("a fleet order's name"));
  // From a day on, where the date above picks a day, a month or a year.
  sinceOn_ = new QCheckBox(QStringLiteral("S&ince:"), this);
  since_ = new QDateEdit(QDate::currentDate().addMonths(-1), this);
  since_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  since_->setCalendarPopup(true);
  since_->setAccessibleName(QStringLiteral("Since date"));
  since_->setEnabled(false);
  filters->addWidget(sinceOn_);
  filters->addWidget(since_);
  connect(sinceOn_, &QCheckBox::toggled, since_, &QWidget::setEnabled);
  connect(sinceOn_, &QCheckBox::toggled, this, &HistoryDialog::ApplyFilters);
  connect(since_, &QDateEdit::dateChanged, this, &HistoryDialog::ApplyFilters);

  table_ = new QTableView(this);
  table_->setAccessibleName(QStringLiteral("History records"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  // Sized by the header alone: measuring the contents would fetch and lay out every row.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setModel(model_);
  table_->horizontalHeader()->setSortIndicator(HistoryTableModel::kTime, Qt::DescendingOrder);
  table_->setSortingEnabled(true);  // sorts once, which fetches the first page
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &HistoryDialog::UpdateCommands);
  connect(model_, &QAbstractItemModel::modelReset, this, &HistoryDialog::UpdateCommands);
  connect(table_, &QTableView::doubleClicked, this, &HistoryDialog::ShowSettings);

  detail_ = new QPlainTextEdit(this);
  detail_->setReadOnly(true);
  detail_->setAccessibleName(QStringLiteral("Record details"));
  detail_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(table_);
  splitter->addWidget(detail_);
  splitter->setStretchFactor(0, kTableShare);
  splitter->setStretchFactor(1, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  show_ = buttons->addButton(QStringLiteral("Show &Settings"), QDialogButtonBox::ActionRole);
  compare_ = buttons->addButton(QStringLiteral("Com&pare with Pages"), QDialogButtonBox::ActionRole);
  load_ = buttons->addButton(QStringLiteral("&Load into Pages"), QDialogButtonBox::ActionRole);
  save_ = buttons->addButton(QStringLiteral("Save &As..."), QDialogButtonBox::ActionRole);
  QPushButton* refresh = buttons->addButton(QStringLiteral("Re&fresh"), QDialogButtonBox::ActionRole);
  connect(show_, &QPushButton::clicked, this, &HistoryDialog::ShowSettings);
  connect(compare_, &QPushButton::clicked, this, &HistoryDialog::CompareWithPages);
  connect(load_, &QPushButton::clicked, this, &HistoryDialog::LoadIntoPages);
  connect(save_, &QPushButton::clicked, this, &HistoryDialog::SaveAs);
  connect(refresh, &QPushButton::clicked, this, &HistoryDialog::Refresh);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(splitter, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  UpdateCommands();
}

HistoryDialog::~HistoryDialog() = default;

void HistoryDialog::Refresh() {
  ShowStatusText({});
  store_->Close();
  model_->SetQuery(model_->Query());
}

void HistoryDialog::ApplyFilters() {
  HistoryPageQuery query = model_->Query();
  query.serialPrefix = serial_->text().trimmed();
  query.capcode.reset();
  bool ok = false;
  if (const int capcode = capcode_->text().toInt(&ok); ok) query.capcode = capcode;
  query.timePrefix = date_->text().trimmed();
  query.orderName = order_->text().trimmed();
  query.since.reset();
  if (sinceOn_->isChecked()) query.since = since_->date();
  ShowStatusText({});
  model_->SetQuery(query);
}

void HistoryDialog::UpdateCommands() {
  const bool chosen = table_->selectionModel() && table_->selectionModel()->hasSelection();
  show_->setEnabled(chosen);
  save_->setEnabled(chosen);
  compare_->setEnabled(chosen && bool(pages_.current));
  load_->setEnabled(chosen && bool(pages_.load));
}

void HistoryDialog::ShowStatusText(const QString& text) { status_->setText(text); }

qint64 HistoryDialog::RecordId(int row) const {
  const HistoryPageRow* shown = model_->RowAt(row);
  return shown ? shown->record.id : 0;
}

void HistoryDialog::SelectRow(int row) { table_->selectRow(row); }

QString HistoryDialog::DetailText() const { return detail_->toPlainText(); }

QString HistoryDialog::StatusText() const { return status_->text(); }

std::optional<HistoryRecord> HistoryDialog::ChosenRecord() {
  const QModelIndexList rows = table_->selectionModel()->selectedRows();
  const HistoryPageRow* row = rows.isEmpty() ? nullptr : model_->RowAt(rows.first().row());
  if (!row) {
    ShowStatusText(QStringLiteral("Choose a record first."));
    return std::nullopt;
  }
  const qint64 id = row->record.id;
  Result<std::optional<HistoryRecord>> found = store_->Find(id);
  if (!found) {
    ShowStatusText(QStringLiteral("The history cannot be read: %1").arg(found.failure().reason));
    return std::nullopt;
  }
  if (!*found) {
    ShowStatusText(QStringLiteral("Record %1 is no longer in the history.").arg(id));
    return std::nullopt;
  }
  if (!(*found)->data) {
    ShowStatusText(QStringLiteral("Record %1 holds no settings: the %2 failed.").arg(id).arg((*found)->operation));
    return std::nullopt;
  }
  return std::move(**found);
}

void HistoryDialog::ShowSettings() {
  const std::optional<HistoryRecord> record = ChosenRecord();
  if (!record) return;
  detail_->setPlainText(QString::fromUtf8(WriteSettingsDocument(*record->data)));
  ShowStatusText(QStringLiteral("The settings of record %1.").arg(record->id));
}

void HistoryDialog::CompareWithPages() {
  if (!pages_.current) return;
  const std::optional<HistoryRecord> record = ChosenRecord();
  if (!record) return;
  // As `m84dpt diff RECORD PAGES` words it, both as the pages store them.
  const QStringList differences =
      SettingsDifferences(StoredByThePages(*record->data), StoredByThePages(pages_.current()));
  detail_->setPlainText(differences.isEmpty() ? kNoSettingDiffers : differences.join(QLatin1Char('\n')));
  ShowStatusText(differences.isEmpty() ? QStringLiteral("Record %1 holds the settings of the pages.").arg(record->id)
                                       : QStringLiteral("Record %1 differs from the pages in %2 setting(s).")
                                             .arg(record->id)
                                             .arg(differences.size()));
}

void HistoryDialog::LoadIntoPages() {
  if (!pages_.load) return;
  const std::optional<HistoryRecord> record = ChosenRecord();
  if (!record) return;
  if (!pages_.load(*record->data)) return;
  ShowStatusText(QStringLiteral("Record %1 loaded into the pages.").arg(record->id));
}

void HistoryDialog::SaveAs() {
  const std::optional<HistoryRecord> record = ChosenRecord();
  if (!record) return;
  const QString typed = dialogs_->SaveFileName(this, QStringLiteral("Save Record As"), kSaveFilter);
  if (typed.isEmpty()) return;
  const QString path = WithDefaultExtension(typed, DefaultExtensionOf(typed));
  SaveHost host;
  static_cast<void>(SaveSettingsFile(path, *record->data, host));
  ShowStatusText(host.problem.isEmpty() ? host.status : QStringLiteral("%1 — %2").arg(host.status, host.problem));
}

}  // namespace m84
