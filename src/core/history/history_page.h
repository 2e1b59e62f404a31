#pragma once
// What a table of the history asks the store for: one page of records at a time, filtered and
// sorted by the store, so that a table over 100,000 records holds only the pages shown.
//
//   HistoryPageQuery query;
//   query.serialPrefix = "84000";
//   query.sort = HistoryPageQuery::Sort::Serial;
//   Result<std::vector<HistoryPageRow>> page = store.ListPage(query, 0, 100);

#include <QDate>
#include <QString>
#include <optional>

#include "core/history/history_record.h"

namespace m84 {

struct HistoryPageQuery {
  // The columns a table sorts by, in the order a table shows them.
  enum class Sort { Time, Operation, Outcome, Serial, Capcodes, User, Host, File, OrderRow, Id };

  QString serialPrefix;        // serial numbers that start so; empty: any
  std::optional<int> capcode;  // in any of the eight enabled rows
  // Times (UTC) that start so: "2026", "2026-03", "2026-03-01", "2026-03-01 14"; empty: any.
  QString timePrefix;
  std::optional<QDate> since;  // times (UTC) from this day's start on; nothing: any
  QString orderName;           // the records of this fleet order's rows; empty: any
  Sort sort = Sort::Time;
  bool descending = true;
};

// A record without its image, with the fleet order's row it programmed, if any.
struct HistoryPageRow {
  HistoryRecord record;
  QString orderName;
  std::optional<int> orderRow;
};

}  // namespace m84
