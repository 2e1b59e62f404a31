#include "core/fleet/order_changes.h"

#include <algorithm>

#include "core/link/adapter_frame.h"
#include "core/settings/settings_document.h"

namespace m84::fleet {

std::map<int, const RowRecord*> ByRowNumber(const std::vector<RowRecord>& rows) {
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : rows) held[row.row] = &row;
  return held;
}

std::vector<int> ChangedRows(const Order& order, const std::vector<RowRecord>& stored) {
  const std::map<int, const RowRecord*> held = ByRowNumber(stored);
  std::vector<int> changed;
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    if (found != held.end() && found->second->state == kRowDone && found->second->fingerprint != row.fingerprint)
      changed.push_back(row.row);
  }
  return changed;
}

Result<QStringList> RowChanges(HistoryStore& store, const OrderRow& row, const RowRecord& done) {
  if (!done.historyId) return QStringList();
  const Result<std::optional<HistoryRecord>> found = store.Find(*done.historyId);
  if (!found) return found.failure();
  if (!*found || !(*found)->data) return QStringList();
  const PagerData& written = *(*found)->data;
  PagerData now = row.data;
  if (!row.writesSerial)
    std::copy(written.image.data() + kSerialFirst, written.image.data() + kSerialLast, now.image.data() + kSerialFirst);
  return SettingsDifferences(written, now);
}

}  // namespace m84::fleet
