// The history dialog on both stores: the records newest first, filtered as typed, sorted by any
// column and fetched a page at a time; for a record its settings, the comparison with the pages,
// the load into them and the save as a file; and a store that cannot be reached.
//
// The PostgreSQL cases run when M84DPT_TEST_POSTGRES holds a connection to a scratch server
// (scripts/with_postgres.sh starts one); they drop and remake the history's tables there.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "core/history/history_store.h"
#include "core/history/pager_history.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"
#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"
#include "gui/file_dialogs.h"
#include "gui/history_dialog.h"
#include "qstring_printer.h"

using namespace m84;

namespace {

constexpr char kPostgresVariable[] = "M84DPT_TEST_POSTGRES";

// The default settings with a serial number and the given capcodes enabled in the first rows.
PagerData PagerWith(const QString& serial, std::vector<int> capcodes) {
  PagerData data;
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    data.image[CapcodeFieldOffset(row)] = 0;
    WriteCapcode(data.image, row, row < int(capcodes.size()) ? uint32_t(capcodes[size_t(row)]) : 8u);
    if (row >= int(capcodes.size())) data.image[CapcodeFieldOffset(row)] |= kCapcodeEnableBit;
  }
  WriteZeroPaddedText(serial, data.image, kSerialOffset, kSerialSize);
  return data;
}

HistoryRecord RecordOf(const PagerData& data, const char* time, const char* operation, const char* user) {
  HistoryRecord record;
  record.time = QDateTime::fromString(QLatin1String(time), Qt::ISODate);
  record.user = QLatin1String(user);
  record.host = QStringLiteral("bench-1");
  record.source = kSourceWindow;
  record.operation = QLatin1String(operation);
  record.outcome = kOutcomeOk;
  record.status = QStringLiteral("DPT Verify ok !");
  record.file = QStringLiteral("/home/tech/night.DAT");
  record.data = data;
  FillSearchColumns(record);
  return record;
}

class AnsweringDialogs : public FileDialogs {
 public:
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return answer; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return answer; }
  QString answer;
};

enum class Backend { SQLite, PostgreSql };

class HistoryDialogTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::SQLite) {
      location = {HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("history.sqlite"))};
    } else {
      const QString connection = qEnvironmentVariable(kPostgresVariable);
      if (connection.isEmpty())
        GTEST_SKIP() << kPostgresVariable
                     << " is not set: no scratch PostgreSQL server (scripts/with_postgres.sh starts one)";
      location = ParseHistoryLocation(connection);
      DropPostgresTables(connection);
    }
    HistoryStore store(location);
    // Oldest first; the failed read keeps no image and so no capcodes.
    std::vector<HistoryRecord> records = {
        RecordOf(PagerWith(QStringLiteral("8400000001"), {1234567, 200}), "2026-03-01T10:00:00Z", "write", "ann"),
        RecordOf(PagerWith(QStringLiteral("8400000002"), {300}), "2026-03-02T10:00:00Z", "read", "bob"),
        RecordOf(PagerWith(QStringLiteral("8500000003"), {1234567}), "2026-03-03T10:00:00Z", "backup", "cid"),
        RecordOf(PagerWith(QStringLiteral("8400000001"), {}), "2026-03-04T10:00:00Z", "read", "dee"),
    };
    records[3].data.reset();
    records[3].capcodes = {};
    records[3].outcome = kOutcomeFailed;
    ASSERT_TRUE(store.AppendAll(records));
    for (const HistoryRecord& record : records) ids.push_back(record.id);
    // Record 0 programmed row 3 of the order "night".
    Result<QSqlDatabase> db = store.Connection();
    ASSERT_TRUE(db);
    QSqlQuery query(*db);
    ASSERT_TRUE(
        query.exec(QStringLiteral("INSERT INTO order_rows (order_name, row_number, state, fingerprint, label, serial, "
                                  "history_id, port, run_id, claimed_utc, updated_utc, user_name, host_name, "
                                  "detail) VALUES ('night', 3, 'done', '', '', '8400000001', "
                                  "%1, '', '', '', '', '', '', '')")
                       .arg(ids[0])))
        << query.lastError().text().toStdString();
  }

  static void DropPostgresTables(const QString& connection) {
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("scratch"));
      db.setConnectOptions(connection);
      ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
      QSqlQuery query(db);
      ASSERT_TRUE(
          query.exec(QStringLiteral("DROP TABLE IF EXISTS pager_history, history_schema, order_rows, fleet_orders, "
                                    "order_replaced, order_terms")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("scratch"));
  }

  std::unique_ptr<HistoryDialog> Dialog() {
    HistoryDialog::Pages hooks{[this] { return pages; },
                               [this](const PagerData& data) {
                                 loaded.push_back(data);
                                 return true;
                               }};
    auto dialog = std::make_unique<HistoryDialog>(location, hooks, dialogs);
    dialog->show();
    return dialog;
  }

  static std::vector<qint64> ShownIds(const HistoryDialog& dialog) {
    std::vector<qint64> shown;
    for (int row = 0; row < dialog.Model()->rowCount(); ++row) shown.push_back(dialog.Model()->RowAt(row)->record.id);
    return shown;
  }

  static QString Cell(const HistoryDialog& dialog, int row, int column) {
    return dialog.Model()->index(row, column).data().toString();
  }

  void Choose(HistoryDialog& dialog, qint64 id) {
    const std::vector<qint64> shown = ShownIds(dialog);
    const auto at = std::find(shown.begin(), shown.end(), id);
    ASSERT_NE(at, shown.end());
    dialog.Table()->selectRow(int(at - shown.begin()));
  }

  QTemporaryDir dir;
  HistoryLocation location;
  std::vector<qint64> ids;
  PagerData pages;
  std::vector<PagerData> loaded;
  std::shared_ptr<AnsweringDialogs> dialogs = std::make_shared<AnsweringDialogs>();
};

TEST_P(HistoryDialogTest, ListsEveryColumnNewestFirst) {
  auto dialog = Dialog();
  EXPECT_EQ(ShownIds(*dialog), (std::vector<qint64>{ids[3], ids[2], ids[1], ids[0]}));
  const QStringList oldest = {"2026-03-01 10:00:00",
                              "write",
                              "ok",
                              "8400000001",
                              "1234567, 200",
                              "ann",
                              "bench-1",
                              "/home/tech/night.DAT",
                              "night, row 3",
                              QString::number(ids[0])};
  for (int column = 0; column < HistoryTableModel::kColumnCount; ++column)
    EXPECT_EQ(Cell(*dialog, 3, column), oldest[column]) << "column " << column;
  EXPECT_EQ(Cell(*dialog, 0, HistoryTableModel::kOutcome), QStringLiteral("failed"));
  EXPECT_EQ(Cell(*dialog, 0, HistoryTableModel::kOrderRow), QString());
  EXPECT_EQ(dialog->StatusText(), QString());
}

TEST_P(HistoryDialogTest, FiltersAsTheFiltersAreTyped) {
  struct Case {
    const char* name;
    const char* serial;
    const char* capcode;
    const char* date;
    std::vector<int> expected;  // indexes into ids, newest first
    const char* since = "";     // the Since box ticked with this day; empty: not ticked
    const char* order = "";     // the fleet order's name
  };
  const Case cases[] = {
      {"serial prefix", "84", "", "", {3, 1, 0}},
      {"whole serial", "8400000001", "", "", {3, 0}},
      {"serial longer than any", "84000000012", "", "", {}},
      {"capcode in row 1", "", "1234567", "", {2, 0}},
      {"capcode in row 2", "", "200", "", {0}},
      {"capcode is whole, not a prefix", "", "123456", "", {}},
      {"a day", "", "", "2026-03-02", {1}},
      {"a month", "", "", "2026-03", {3, 2, 1, 0}},
      {"an hour, typed with a blank", "", "", "2026-03-03 10", {2}},
      {"serial and capcode", "84", "1234567", "", {0}},
      {"since a day: from its first second", "", "", "", {3, 2}, "2026-03-03"},
      {"since a day after the newest", "", "", "", {}, "2026-03-05"},
      {"since before the oldest", "", "", "", {3, 2, 1, 0}, "2026-02-28"},
      {"since, with a serial number", "84", "", "", {3, 1}, "2026-03-02"},
      {"since, with a month", "", "", "2026-03", {3, 2, 1}, "2026-03-02"},
      {"an order's records", "", "", "", {0}, "", "night"},
      {"an order with none", "", "", "", {}, "", "day"},
      {"an order and a serial number", "8400000002", "", "", {}, "", "night"},
  };
  auto dialog = Dialog();
  for (const Case& c : cases) {
    for (QLineEdit* edit :
         {dialog->SerialFilter(), dialog->CapcodeFilter(), dialog->DateFilter(), dialog->OrderFilter()})
      edit->clear();
    QTest::keyClicks(dialog->OrderFilter(), QLatin1String(c.order));
    QTest::keyClicks(dialog->SerialFilter(), QLatin1String(c.serial));
    QTest::keyClicks(dialog->CapcodeFilter(), QLatin1String(c.capcode));
    QTest::keyClicks(dialog->DateFilter(), QLatin1String(c.date));
    if (*c.since) dialog->SinceDate()->setDate(QDate::fromString(QLatin1String(c.since), Qt::ISODate));
    dialog->SinceFilter()->setChecked(*c.since != 0);
    std::vector<qint64> expected;
    for (int index : c.expected) expected.push_back(ids[size_t(index)]);
    EXPECT_EQ(ShownIds(*dialog), expected) << c.name;
    EXPECT_EQ(dialog->StatusText(), QString()) << c.name;
  }
  // Letters are no capcode: the edit refuses them.
  dialog->CapcodeFilter()->clear();
  QTest::keyClicks(dialog->CapcodeFilter(), QStringLiteral("12a"));
  EXPECT_EQ(dialog->CapcodeFilter()->text(), QStringLiteral("12"));
}

TEST_P(HistoryDialogTest, SortsByAnyColumnBothWays) {
  struct Case {
    int column;
    Qt::SortOrder order;
    std::vector<int> expected;
  };
  // Equal values fall back to the newest first (or last, ascending).
  const Case cases[] = {
      {HistoryTableModel::kTime, Qt::AscendingOrder, {0, 1, 2, 3}},
      {HistoryTableModel::kOperation, Qt::AscendingOrder, {2, 1, 3, 0}},
      {HistoryTableModel::kSerial, Qt::DescendingOrder, {2, 1, 3, 0}},
      {HistoryTableModel::kSerial, Qt::AscendingOrder, {0, 3, 1, 2}},
      // The failed read has no capcodes: first ascending, last descending, on both stores.
      {HistoryTableModel::kCapcodes, Qt::AscendingOrder, {3, 1, 0, 2}},
      {HistoryTableModel::kCapcodes, Qt::DescendingOrder, {2, 0, 1, 3}},
      {HistoryTableModel::kUser, Qt::DescendingOrder, {3, 2, 1, 0}},
      {HistoryTableModel::kOrderRow, Qt::DescendingOrder, {0, 3, 2, 1}},
      {HistoryTableModel::kOutcome, Qt::AscendingOrder, {3, 0, 1, 2}},
      {HistoryTableModel::kId, Qt::AscendingOrder, {0, 1, 2, 3}},
      {HistoryTableModel::kId, Qt::DescendingOrder, {3, 2, 1, 0}},
  };
  auto dialog = Dialog();
  for (const Case& c : cases) {
    dialog->Table()->horizontalHeader()->setSortIndicator(c.column, c.order);
    std::vector<qint64> expected;
    for (int index : c.expected) expected.push_back(ids[size_t(index)]);
    EXPECT_EQ(ShownIds(*dialog), expected) << "column " << c.column << " order " << int(c.order);
  }
}

TEST_P(HistoryDialogTest, FetchesAPageAtATime) {
  {
    HistoryStore store(location);
    std::vector<HistoryRecord> more;
    for (int n = 0; n < 2 * HistoryTableModel::kPageSize + 10; ++n)
      more.push_back(
          RecordOf(PagerWith(QStringLiteral("9900000000"), {n + 10}), "2026-04-01T10:00:00Z", "write", "eve"));
    ASSERT_TRUE(store.AppendAll(more));
  }
  auto dialog = Dialog();
  HistoryTableModel* model = dialog->Model();
  // The time order pages after the last row (most of these share one time); the others by offset.
  // The order row's pages run from the records without one into those with one, or back.
  const std::pair<int, Qt::SortOrder> sorts[] = {{HistoryTableModel::kTime, Qt::DescendingOrder},
                                                 {HistoryTableModel::kUser, Qt::DescendingOrder},
                                                 {HistoryTableModel::kOrderRow, Qt::DescendingOrder},
                                                 {HistoryTableModel::kOrderRow, Qt::AscendingOrder}};
  for (const auto& [column, order] : sorts) {
    dialog->Table()->horizontalHeader()->setSortIndicator(column, order);
    EXPECT_EQ(model->rowCount(), HistoryTableModel::kPageSize) << "column " << column;
    while (model->canFetchMore({})) model->fetchMore({});
    EXPECT_EQ(model->rowCount(), 2 * HistoryTableModel::kPageSize + 10 + 4) << "column " << column;
    // No record twice, none left out.
    std::vector<qint64> shown = ShownIds(*dialog);
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(std::unique(shown.begin(), shown.end()), shown.end()) << "column " << column;
    EXPECT_EQ(shown.back() - shown.front() + 1, qint64(shown.size())) << "column " << column;
  }
}

TEST_P(HistoryDialogTest, ShowsComparesLoadsAndSavesARecord) {
  auto dialog = Dialog();
  const PagerData recorded = PagerWith(QStringLiteral("8400000002"), {300});
  Choose(*dialog, ids[1]);

  dialog->ShowSettings();
  EXPECT_EQ(dialog->DetailText(), QString::fromUtf8(WriteSettingsDocument(recorded)));

  // The pages differ from the record in two settings: the capcode of row 1, and row 2 enabled.
  pages = PagerWith(QStringLiteral("8400000002"), {301, 400});
  dialog->CompareWithPages();
  const QStringList differences = dialog->DetailText().split(QLatin1Char('\n'));
  EXPECT_EQ(differences, SettingsDifferences(StoredByThePages(recorded), StoredByThePages(pages)));
  EXPECT_GE(differences.size(), 2) << dialog->DetailText().toStdString();
  EXPECT_TRUE(differences.join(QLatin1Char('\n')).contains(QStringLiteral("301")))
      << dialog->DetailText().toStdString();
  EXPECT_TRUE(dialog->StatusText().contains(QStringLiteral("differs from the pages")));
  pages = recorded;
  dialog->CompareWithPages();
  EXPECT_EQ(dialog->DetailText(), QStringLiteral("No setting differs."));
  EXPECT_TRUE(dialog->StatusText().contains(QStringLiteral("holds the settings of the pages")));

  dialog->LoadIntoPages();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].image, recorded.image);
  EXPECT_EQ(loaded[0].selection, recorded.selection);

  // The name picks the form: the raw image byte for byte, the settings text with every setting.
  dialogs->answer = dir.filePath(QStringLiteral("kept.BIN"));
  dialog->SaveAs();
  QFile raw(dialogs->answer);
  ASSERT_TRUE(raw.open(QIODevice::ReadOnly)) << dialog->StatusText().toStdString();
  EXPECT_EQ(raw.readAll(), QByteArray(reinterpret_cast<const char*>(recorded.image.data()), kImageSize));
  dialogs->answer = dir.filePath(QStringLiteral("kept.yaml"));
  dialog->SaveAs();
  QFile text(dialogs->answer);
  ASSERT_TRUE(text.open(QIODevice::ReadOnly)) << dialog->StatusText().toStdString();
  const SettingsReadResult read = ReadSettingsDocument(text.readAll(), PagerData());
  ASSERT_TRUE(read) << read.error.Text().toStdString();
  // The text keeps every setting (a text setting comes back blank-padded, as the pages store it).
  EXPECT_EQ(SettingsDifferences(recorded, *read.data), QStringList());
  EXPECT_EQ(read.data->selection, recorded.selection);
  // A save into a folder that does not exist says why.
  dialogs->answer = dir.filePath(QStringLiteral("missing/kept.DAT"));
  dialog->SaveAs();
  EXPECT_TRUE(dialog->StatusText().contains(QStringLiteral("missing/kept.DAT"))) << dialog->StatusText().toStdString();
  EXPECT_FALSE(QFile::exists(dialogs->answer));
}

TEST_P(HistoryDialogTest, ARecordWithoutSettingsSaysSo) {
  auto dialog = Dialog();
  Choose(*dialog, ids[3]);
  dialog->LoadIntoPages();
  EXPECT_TRUE(loaded.empty());
  EXPECT_EQ(dialog->StatusText(), QStringLiteral("Record %1 holds no settings: the read failed.").arg(ids[3]));
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryDialogTest, ::testing::Values(Backend::SQLite, Backend::PostgreSql),
                         [](const auto& info) { return info.param == Backend::SQLite ? "SQLite" : "PostgreSql"; });

TEST(HistoryDialogUnreachable, SaysWhyAndShowsNothing) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath(QStringLiteral("file")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  const HistoryLocation cases[] = {
      // A folder that cannot be made: a file stands in its place.
      {HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("file/history.sqlite"))},
      // No server listens on this socket.
      ParseHistoryLocation(QStringLiteral("host=%1 dbname=m84 user=m84").arg(dir.path())),
  };
  for (const HistoryLocation& location : cases) {
    HistoryDialog dialog(location, {}, std::make_shared<AnsweringDialogs>());
    dialog.show();
    EXPECT_EQ(dialog.Model()->rowCount(), 0);
    EXPECT_TRUE(dialog.StatusText().startsWith(QStringLiteral("The history cannot be read: ")))
        << dialog.StatusText().toStdString();
    EXPECT_TRUE(dialog.StatusText().contains(location.Describe().left(20))) << dialog.StatusText().toStdString();
  }
}

}  // namespace
