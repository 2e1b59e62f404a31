#include "gui/order_view.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace m84 {

using namespace fleet;

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// A row's state as the summary counts it, beside the store's kRowClaimed, kRowDone and kRowFailed.
const QString kRowToDo = QStringLiteral("to do");
const QString kRowChanged = QStringLiteral("changed");

QString RowName(const OrderRow& row) {
  return row.label.isEmpty() ? QStringLiteral("row %1").arg(row.row)
                             : QStringLiteral("row %1 (%2)").arg(row.row).arg(row.label);
}

QString CapcodesOf(const OrderRow& row) {
  QStringList texts;
  for (int capcode : row.capcodes) texts << QString::number(capcode);
  return texts.join(QStringLiteral(", "));
}

}  // namespace

QString OrderRowWrite::Summary() const {
  if (storeFailed) return QStringLiteral("the order's state cannot be kept: %1").arg(storeFailed->Text());
  if (!seated) return {};
  if (seated->kind != SeatedPager::Kind::Claimed) return seated->Refusal();
  const QString& name = rowName;
  if (stopped) return QStringLiteral("%1 given back unwritten").arg(name);
  if (!wrote) return {};
  if (wrote->ok) return QStringLiteral("%1 written, serial number %2").arg(name, wrote->record.serial);
  return QStringLiteral("%1 failed").arg(name);
}

OrderRowWrite WriteNextRow(const fleet::Order& order, const HistoryLocation& location, const fleet::ClaimRules& rules,
                           AdapterLink& link, TransferHost& host,
                           const std::function<void(const fleet::OrderRow& row)>& seatedRow) {
  OrderRowWrite result;
  HistoryStore store(location);
  OrderState state(store, order.name);
  const Result<SeatedPager> seated = SeatPager(order, state, rules, link);
  if (!seated) {
    result.storeFailed = seated.failure();
    return result;
  }
  result.seated = *seated;
  if (seated->kind != SeatedPager::Kind::Claimed) return result;
  const OrderRow& row = *order.Row(seated->row);
  result.rowName = RowName(row);
  if (host.StopRequested()) {
    // Kept when the store fails now: the claim is given back by the time-out instead.
    static_cast<void>(state.Release(seated->row, rules));
    result.stopped = true;
    return result;
  }
  seatedRow(row);
  result.wrote = WriteRow(order, row, seated->serial, link, state, rules, host);
  if (result.wrote->storeFailed) result.storeFailed = result.wrote->storeFailed;
  return result;
}

// The store read on a thread of its own: the history's warnings once, then the order's rows
// about once a second, each answer carried to the view on its own thread.
class OrderView::Watch {
 public:
  Watch(OrderView* view, HistoryLocation location, fleet::Order order, bool warn)
      : view_(view), location_(std::move(location)), order_(std::move(order)), warn_(warn) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Watch() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void PollNow() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      now_ = true;
    }
    changed_.notify_all();
  }

 private:
  // Queued to the view: it is gone before its watch is, and its queued calls with it.
  template <typename Call>
  void Post(Call call) {
    QMetaObject::invokeMethod(view_, std::move(call), Qt::QueuedConnection);
  }

  void Run() {
    HistoryStore store(location_);
    if (warn_) {
      const Result<std::vector<OrderFault>> warnings = HistoryWarnings(order_, store);
      OrderView* view = view_;
      if (warnings)
        Post([view, found = *warnings] { view->TakeWarnings(found); });
      else
        Post([view, reason = warnings.failure().Text()] {
          view->ShowProblem(QStringLiteral("history: the capcodes were not compared with it: %1").arg(reason), false);
        });
    }
    OrderState state(store, order_.name);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      now_ = false;
      lock.unlock();
      const Result<std::vector<RowRecord>> rows = state.Rows();
      OrderView* view = view_;
      if (rows)
        Post([view, found = *rows] { view->ShowRows(found); });
      else
        Post([view, reason = rows.failure().Text()] {
          view->ShowProblem(QStringLiteral("The order's state cannot be read: %1").arg(reason), true);
        });
      lock.lock();
      changed_.wait_for(lock, std::chrono::milliseconds(kPollMs), [this] { return stop_ || now_; });
    }
  }

  OrderView* view_;
  HistoryLocation location_;
  fleet::Order order_;
  bool warn_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool now_ = false;
  std::thread thread_;
};

OrderView::OrderView(const QString& orderPath, const QString& templatePath, const HistoryLocation& location,
                     QAction* write, QWidget* parent)
    : QDialog(parent),
      location_(location),
      fileName_(QFileInfo(orderPath).fileName()),
      runId_(NewRunId()),
      write_(write) {
  const Result<PagerData> templateData = LoadOrderTemplate(templatePath);
  if (!templateData) {
    loadFailure_ = QStringLiteral("template %1").arg(templateData.failure().reason);
  } else if (Result<fleet::Order> loaded = LoadOrder(orderPath, *templateData); !loaded) {
    loadFailure_ = loaded.failure().reason;
  } else {
    order_ = std::move(loaded).value();
  }
  if (order_.name.isEmpty()) order_.name = OrderNameOf(orderPath);
  if (order_.file.isEmpty()) order_.file = orderPath;

  setWindowTitle(QStringLiteral("Order %1").arg(order_.name));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setAccessibleName(QStringLiteral("Order progress"));
  layout->addWidget(summary_);
  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->setAccessibleName(QStringLiteral("Order store problem"));
  problem_->hide();
  layout->addWidget(problem_);
  faults_ = new QListWidget(this);
  faults_->setAccessibleName(QStringLiteral("Order faults"));
  faults_->setAccessibleDescription(QStringLiteral("Faults refuse the order; warnings do not"));
  faults_->setMaximumHeight(120);
  layout->addWidget(faults_);

  model_ = new QStandardItemModel(0, kColumnCount, this);
  model_->setHorizontalHeaderLabels({QStringLiteral("Row"), QStringLiteral("Label"), QStringLiteral("Capcodes"),
                                     QStringLiteral("Serial"), QStringLiteral("State"), QStringLiteral("Time (UTC)"),
                                     QStringLiteral("User"), QStringLiteral("Host"), QStringLiteral("Adapter")});
  model_->setRowCount(int(order_.rows.size()));
  for (int i = 0; i < int(order_.rows.size()); ++i) {
    const OrderRow& row = order_.rows[size_t(i)];
    const QString texts[kColumnCount] = {QString::number(row.row),
                                         row.label,
                                         CapcodesOf(row),
                                         row.writesSerial ? row.serial : QString(),
                                         QStringLiteral("to do"),
                                         {},
                                         {},
                                         {},
                                         {}};
    for (int column = 0; column < kColumnCount; ++column) model_->setItem(i, column, new QStandardItem(texts[column]));
  }
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setAccessibleName(QStringLiteral("Order rows"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setMinimumSize(760, 320);
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(this);
  writeButton_ = buttons->addButton(QStringLiteral("&Write Next Row"), QDialogButtonBox::ActionRole);
  writeButton_->setAccessibleName(QStringLiteral("Write next row"));
  writeButton_->setAutoDefault(false);
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  close->setAccessibleName(QStringLiteral("Close order"));
  close->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  if (write_) {
    connect(writeButton_, &QPushButton::clicked, write_, &QAction::trigger);
    connect(write_, &QAction::changed, this, &OrderView::FollowWrite);
  }
  FollowWrite();

  ShowFaults();
  summary_->setText(Summary());
  watch_ = std::make_unique<Watch>(this, location_, order_, !Refused());
}

// The watch goes first: nothing it reads reaches a view half gone.
OrderView::~OrderView() { watch_.reset(); }

fleet::ClaimRules OrderView::Rules(const QString& port) const {
  ClaimRules rules;
  rules.runId = runId_;
  rules.port = port;
  // At the bench the person retries a failed pager at once: Write again takes the row again.
  rules.retryFailed = true;
  return rules;
}

bool OrderView::Refused() const { return loadFailure_.has_value() || order_.Refused(); }

QString OrderView::RefusalText() const { return QStringLiteral("%1 has faults; nothing written").arg(fileName_); }

QStringList OrderView::FaultTexts() const {
  QStringList texts;
  if (loadFailure_) texts << *loadFailure_;
  for (const OrderFault& fault : order_.faults) texts << fault.Text(fileName_);
  return texts;
}

int OrderView::RowCount() const { return model_->rowCount(); }

QString OrderView::Cell(int row, Column column) const { return model_->item(row, column)->text(); }

QString OrderView::Summary() const {
  int done = 0, failed = 0, changed = 0, toDo = 0;
  for (int i = 0; i < model_->rowCount(); ++i) {
    const QString state = model_->item(i, kStateColumn)->data(Qt::UserRole).toString();
    if (state == kRowDone)
      ++done;
    else if (state == kRowFailed)
      ++failed;
    else if (state == kRowChanged)
      ++changed;
    else
      ++toDo;
  }
  QString text = QStringLiteral("%1: %2 done, %3 failed, %4 to do").arg(order_.name).arg(done).arg(failed).arg(toDo);
  if (changed > 0) text += QStringLiteral(", %1 changed since done").arg(changed);
  return text;
}

QString OrderView::Problem() const { return problem_->isHidden() ? QString() : problem_->text(); }

void OrderView::PollNow() { watch_->PollNow(); }

void OrderView::ShowFaults() {
  faults_->clear();
  faults_->addItems(FaultTexts());
  faults_->setVisible(faults_->count() > 0);
  FollowWrite();
}

void OrderView::TakeWarnings(const std::vector<fleet::OrderFault>& warnings) {
  order_.faults.insert(order_.faults.end(), warnings.begin(), warnings.end());
  std::stable_sort(order_.faults.begin(), order_.faults.end(),
                   [](const OrderFault& a, const OrderFault& b) { return a.row < b.row; });
  ShowFaults();
}

// Each row as `fleet status` describes it; a row the store does not know is to do.
void OrderView::ShowRows(const std::vector<fleet::RowRecord>& rows) {
  if (rowsProblem_) problem_->hide();
  std::map<int, const RowRecord*> held;
  for (const RowRecord& record : rows) held[record.row] = &record;
  for (int i = 0; i < int(order_.rows.size()); ++i) {
    const OrderRow& row = order_.rows[size_t(i)];
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    QString state = QStringLiteral("to do"), key = kRowToDo;
    QString serial = row.writesSerial ? row.serial : QString();
    QString time, user, host, adapter;
    if (record) {
      user = record->user;
      host = record->host;
      adapter = record->port;
      time = (record->state == kRowClaimed ? record->claimed : record->updated).toString(kTimeFormat);
      if (record->state == kRowDone) {
        const bool same = record->fingerprint == row.fingerprint;
        state = same ? QStringLiteral("done") : QStringLiteral("changed since it was done");
        key = same ? kRowDone : kRowChanged;
        serial = record->serial;
      } else if (record->state == kRowFailed) {
        state = QStringLiteral("failed: %1").arg(record->detail);
        key = kRowFailed;
      } else {
        state = record->runId == runId_ ? QStringLiteral("being written here")
                                        : QStringLiteral("claimed by %1").arg(record->host);
        key = kRowClaimed;
      }
    }
    const QString texts[kColumnCount] = {
        QString::number(row.row), row.label, CapcodesOf(row), serial, state, time, user, host, adapter};
    for (int column = 0; column < kColumnCount; ++column) {
      QStandardItem* item = model_->item(i, column);
      if (item->text() != texts[column]) item->setText(texts[column]);
    }
    model_->item(i, kStateColumn)->setData(key, Qt::UserRole);
  }
  summary_->setText(Summary());
}

void OrderView::ShowProblem(const QString& problem, bool rows) {
  rowsProblem_ = rows;
  problem_->setText(problem);
  problem_->show();
}

// The button is the window's Write, refused for an order with faults.
void OrderView::FollowWrite() { writeButton_->setEnabled(write_ && write_->isEnabled() && !Refused()); }

}  // namespace m84
