#include "gui/order_view.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
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
#include <utility>
#include <vector>

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
  if (storeFailed && !(wrote && wrote->kept.storeFailed))
    return QStringLiteral("the order's state cannot be kept: %1").arg(storeFailed->Text());
  if (!seated) return {};
  if (seated->kind != SeatedPager::Kind::Claimed) return seated->Refusal();
  const QString& name = rowName;
  if (stopped) return QStringLiteral("%1 given back unwritten").arg(name);
  if (!wrote) return {};
  if (const QString trouble = wrote->kept.Trouble(wrote->record); !trouble.isEmpty())
    return QStringLiteral("%1: %2").arg(name, trouble);
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
  if (result.wrote->kept.storeFailed) result.storeFailed = result.wrote->kept.storeFailed;
  return result;
}

// The store read on a thread of its own: the history's warnings once, then the order's rows
// about once a second, each answer carried to the view on its own thread. The view never waits
// for the thread: a read may hang on an unreachable server for the whole of its limit, and the
// view closes at once all the same. The thread then ends on its own, and nothing it reads
// reaches the view; threads still reading when the program ends are waited for then, before the
// database drivers go.
class OrderView::Watch {
 public:
  Watch(QPointer<OrderView> view, HistoryLocation location, fleet::Order order, bool warn)
      : shared_(std::make_shared<Shared>()) {
    std::thread thread([shared = shared_, view = std::move(view), location = std::move(location),
                        order = std::move(order), warn] { Run(*shared, view, location, order, warn); });
    Keep(std::move(thread), shared_);
  }
  ~Watch() {
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->stop = true;
    }
    shared_->changed.notify_all();
  }
  void PollNow() {
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->now = true;
    }
    shared_->changed.notify_all();
  }

 private:
  // Between the view's thread and the watch's.
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;  // the view is gone: nothing more is read or carried
    bool now = false;
    bool done = false;  // the thread has given its connection up
  };

  // Every watch's thread, until it is known to have ended.
  struct Threads {
    std::mutex mutex;
    std::vector<std::pair<std::thread, std::shared_ptr<Shared>>> running;
  };
  static Threads& AllThreads() {
    static Threads threads;
    return threads;
  }
  static bool Done(Shared& shared) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.done;
  }
  // Keeps the thread to be waited for; the ones that have ended since are waited for now.
  static void Keep(std::thread thread, std::shared_ptr<Shared> shared) {
    static std::once_flag registered;
    std::call_once(registered, [] { qAddPostRoutine(WaitForAll); });
    Threads& threads = AllThreads();
    std::lock_guard<std::mutex> lock(threads.mutex);
    auto& running = threads.running;
    for (auto entry = running.begin(); entry != running.end();) {
      if (Done(*entry->second)) {
        entry->first.join();
        entry = running.erase(entry);
      } else {
        ++entry;
      }
    }
    running.emplace_back(std::move(thread), std::move(shared));
  }
  // As the application ends: every view is gone by then, so every thread has been told to stop.
  static void WaitForAll() {
    Threads& threads = AllThreads();
    std::vector<std::pair<std::thread, std::shared_ptr<Shared>>> running;
    {
      std::lock_guard<std::mutex> lock(threads.mutex);
      running.swap(threads.running);
    }
    for (auto& [thread, shared] : running) {
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->stop = true;
      }
      shared->changed.notify_all();
      thread.join();
    }
  }

  // Carried to the view on its thread, unless it has gone meanwhile; nothing once it is going.
  // Posted under the lock, so that no call is on its way once the view has said stop.
  template <typename Call>
  static void Post(Shared& shared, const QPointer<OrderView>& view, Call call) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.stop) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [view, call = std::move(call)] {
          if (view) call(view.data());
        },
        Qt::QueuedConnection);
  }

  static void Run(Shared& shared, const QPointer<OrderView>& view, const HistoryLocation& location,
                  const fleet::Order& order, bool warn) {
    {
      HistoryStore store(location);
      if (warn) {
        const Result<std::vector<OrderFault>> warnings = HistoryWarnings(order, store);
        if (warnings)
          Post(shared, view, [found = *warnings](OrderView* v) { v->TakeWarnings(found); });
        else
          Post(shared, view, [reason = warnings.failure().Text()](OrderView* v) {
            v->ShowProblem(QStringLiteral("history: the capcodes were not compared with it: %1").arg(reason), false);
          });
      }
      OrderState state(store, order.name);
      std::unique_lock<std::mutex> lock(shared.mutex);
      while (!shared.stop) {
        shared.now = false;
        lock.unlock();
        const Result<std::vector<RowRecord>> rows = state.Rows();
        if (rows)
          Post(shared, view, [found = *rows](OrderView* v) { v->ShowRows(found); });
        else
          Post(shared, view, [reason = rows.failure().Text()](OrderView* v) {
            v->ShowProblem(QStringLiteral("The order's state cannot be read: %1").arg(reason), true);
          });
        lock.lock();
        shared.changed.wait_for(lock, std::chrono::milliseconds(kPollMs), [&] { return shared.stop || shared.now; });
      }
    }
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.done = true;
  }

  std::shared_ptr<Shared> shared_;
};

OrderView::OrderView(const QString& orderPath, const QString& templatePath, const HistoryLocation& location,
                     QAction* write, QWidget* parent)
    : QDialog(parent),
      location_(location),
      fileName_(QFileInfo(orderPath).fileName()),
      runId_(NewRunId()),
      write_(write) {
  Result<PagerData> templateData = LoadOrderTemplate(templatePath);
  const std::optional<fleet::OrderSettings> kept = KeptSettings(OrderNameOf(orderPath));
  if (templateData && kept) {
    // The order's own template: the one its first check or run kept, as every bench reads it.
    const QStringList differences = TemplateDifferences(kept->templateData, *templateData);
    if (templatePath.isEmpty() || differences.isEmpty()) {
      templateData = kept->templateData;
    } else {
      loadFailure_ = TemplateDiffers(OrderNameOf(orderPath), *kept, templatePath, differences) +
                     QStringLiteral("open the order without choosing a template (Cancel) to use the order's");
    }
  }
  if (!loadFailure_ && !templateData) {
    loadFailure_ = QStringLiteral("template %1").arg(templateData.failure().reason);
  } else if (!loadFailure_) {
    const fleet::OrderOptions options{kept ? kept->shared : QStringList()};
    if (Result<fleet::Order> loaded = LoadOrder(orderPath, *templateData, options); !loaded) {
      loadFailure_ = loaded.failure().reason;
    } else {
      order_ = std::move(loaded).value();
      if (!kept && !order_.Refused()) KeepSettings(templatePath, *templateData);
    }
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
  watch_ = std::make_unique<Watch>(QPointer<OrderView>(this), location_, order_, !Refused());
}

// The watch is told first: nothing it reads reaches a view half gone.
OrderView::~OrderView() { watch_.reset(); }

fleet::ClaimRules OrderView::Rules(const QString& port) const {
  ClaimRules rules;
  rules.runId = runId_;
  rules.port = port;
  // At the bench the person retries a failed pager at once: Write again takes the row again.
  rules.retryFailed = true;
  return rules;
}

std::optional<fleet::OrderSettings> OrderView::KeptSettings(const QString& order) const {
  if (!fleet::StoreMayHoldOrders(location_)) return std::nullopt;
  HistoryStore store(location_);
  const Result<std::optional<fleet::OrderSettings>> kept = fleet::KeptOrderSettings(store, order);
  // A store that cannot be read now is said by the rows' watch, which reads it next.
  return kept ? *kept : std::nullopt;
}

void OrderView::KeepSettings(const QString& templatePath, const PagerData& templateData) const {
  fleet::OrderSettings settings;
  settings.templateData = templateData;
  settings.templateFile = templatePath;
  HistoryStore store(location_);
  // As for a store that cannot be read: the watch says what is wrong with it.
  static_cast<void>(fleet::KeepOrderSettings(store, order_.name, settings));
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
