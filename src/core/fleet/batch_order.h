#pragma once
// A batch (`write FILE --increment --count N`) as an order: N rows, row n being the first pager's
// settings stepped n - 1 times by its Auto Increment selections. The order is named after FILE's
// path and the batch's first capcode ("batch /home/ames/ward.DAT 1200100"), and the store keeps
// its total and its first pager's settings with it: a batch that stopped (a kill, a full disk, a
// Ctrl+C) is found again from FILE as it now stands, whatever pager FILE has stepped to, and goes
// on with the same rows and guards.
//
//   const Order order = BatchOrder(file, fileData, count, true);
//   std::optional<ResumedBatch> resumed = ResumableBatch(file, fileData, stored);
//   const Result<QByteArray> text = StepCapcodesInText(bytes, before, after);

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_state.h"

namespace m84::fleet {

// step false: every row gets FILE's capcodes (identical pagers asked for).
Order BatchOrder(const QString& file, const PagerData& start, int count, bool step);

// "batch /abs/path/FILE ": what every batch order of FILE is named with first.
QString BatchNamePrefix(const QString& file);

// The first pager's settings as the store keeps them with the batch, and back.
QString BatchStartText(const PagerData& start);
std::optional<PagerData> BatchStartOf(const QString& text);

// A stored batch of FILE whose rows include FILE's settings as they now are.
struct ResumedBatch {
  Order order;  // its rows from FILE's on: those before were written
  int row = 0;  // the row FILE's settings are
  int total = 0;
};
std::optional<ResumedBatch> ResumableBatch(const QString& file, const PagerData& now,
                                           const std::vector<BatchTerms>& stored);

// The capcodes of every row of the General page's grid, enabled or not, in row order.
std::vector<int> CapcodesOf(const PagerData& data);

// A settings text with each capcode that differs between `before` and `after` changed where the
// text writes it, and nothing else touched (comments, order, quoting stay). Refused when a
// capcode to change is not written in the text (it comes from the base or the defaults) or
// does not hold `before`'s value there.
Result<QByteArray> StepCapcodesInText(const QByteArray& text, const std::vector<int>& before,
                                      const std::vector<int>& after);

}  // namespace m84::fleet
