#pragma once
// Rows done and changed since: the order's table edited, or its template replaced, after the
// row's pager was written. Such a row is work again, but only when asked (fleet run --redo ROW
// or --redo-changed), since its pager is already out in the field.
//
//   for (int row : ChangedRows(order, stored)) ... RowChanges(store, *order.Row(row), record);

#include <QStringList>
#include <map>
#include <vector>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"
#include "core/result.h"

namespace m84::fleet {

// The rows the store holds, by row number.
std::map<int, const RowRecord*> ByRowNumber(const std::vector<RowRecord>& rows);

// The done rows whose pager would now be written otherwise, in row order.
std::vector<int> ChangedRows(const Order& order, const std::vector<RowRecord>& stored);

// What would change in a done row's pager, one line each as "diff" prints them: the settings of
// the write's record against the row's now (the serial number aside where the row keeps the
// pager's own).
Result<QStringList> RowChanges(HistoryStore& store, const OrderRow& row, const RowRecord& done);

}  // namespace m84::fleet
