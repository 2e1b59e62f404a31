#pragma once
// A batch (`write FILE --increment --count N`) as an order: N rows, row n being FILE's settings
// stepped n - 1 times by its Auto Increment selections. The order is named after FILE's path and
// the settings it starts from, so a batch that stopped before FILE was stepped (a full disk, a
// kill) is the same order when run again, and the history's record of its rows keeps it from
// handing out the same capcodes twice; once FILE is stepped, the next run is a new order.
//
//   const Order order = BatchOrder(file, fileData, count, true);
//   const Result<QByteArray> text = StepCapcodesInText(bytes, before, after);

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/fleet/fleet_order.h"

namespace m84::fleet {

// step false: every row gets FILE's capcodes (identical pagers asked for).
Order BatchOrder(const QString& file, const PagerData& start, int count, bool step);

// The capcodes of every row of the General page's grid, enabled or not, in row order.
std::vector<int> CapcodesOf(const PagerData& data);

// A settings text with each capcode that differs between `before` and `after` changed where the
// text writes it, and nothing else touched (comments, order, quoting stay). Refused when a
// capcode to change is not written in the text (it comes from the base or the defaults) or
// does not hold `before`'s value there.
Result<QByteArray> StepCapcodesInText(const QByteArray& text, const std::vector<int>& before,
                                      const std::vector<int>& after);

}  // namespace m84::fleet
