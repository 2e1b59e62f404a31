#include "core/fleet/batch_order.h"

#include <yaml-cpp/yaml.h>
#include <QCryptographicHash>
#include <QFileInfo>

#include "core/pages/capcode.h"
#include "core/pages/model_page_set.h"

namespace m84::fleet {

namespace {

QByteArray Digest(const PagerData& data) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(data.image.data()), qsizetype(data.image.size())));
  return hash.result().toHex();
}

// Where the text writes capcode `row` (from 0): the digits' offset and length, or nothing.
std::optional<std::pair<qsizetype, qsizetype>> CapcodeSpan(const QByteArray& text, const YAML::Node& root, int row) {
  const YAML::Node general = root["general"];
  if (!general || !general.IsMap()) return std::nullopt;
  const YAML::Node grid = general["capcodes"];
  if (!grid || !grid.IsSequence() || size_t(row) >= grid.size()) return std::nullopt;
  const YAML::Node entry = grid[size_t(row)];
  if (!entry.IsMap()) return std::nullopt;
  const YAML::Node value = entry["capcode"];
  if (!value || !value.IsScalar()) return std::nullopt;
  qsizetype start = value.Mark().pos;
  if (start < 0 || start >= text.size()) return std::nullopt;
  if (text[start] == '"' || text[start] == '\'') ++start;
  qsizetype end = start;
  while (end < text.size() && std::isdigit(uchar(text[end]))) ++end;
  if (end == start) return std::nullopt;
  return std::make_pair(start, end - start);
}

}  // namespace

std::vector<int> CapcodesOf(const PagerData& data) {
  std::vector<int> capcodes;
  for (int row = 0; row < kCapcodeRowCount; ++row) capcodes.push_back(int(ReadCapcode(data.image, row)));
  return capcodes;
}

QString BatchNamePrefix(const QString& file) {
  return QStringLiteral("batch %1 ").arg(QFileInfo(file).absoluteFilePath());
}

QString BatchStartText(const PagerData& start) {
  QByteArray bytes(reinterpret_cast<const char*>(start.image.data()), kImageSize);
  bytes.append(reinterpret_cast<const char*>(start.selection.data()), kSelectionSize);
  return QString::fromLatin1(bytes.toBase64());
}

std::optional<PagerData> BatchStartOf(const QString& text) {
  const QByteArray bytes = QByteArray::fromBase64(text.toLatin1());
  if (bytes.size() != kImageSize + kSelectionSize) return std::nullopt;
  PagerData data;
  std::copy(bytes.begin(), bytes.begin() + kImageSize, data.image.data());
  std::copy(bytes.begin() + kImageSize, bytes.end(), data.selection.data());
  return data;
}

std::optional<ResumedBatch> ResumableBatch(const QString& file, const PagerData& now,
                                           const std::vector<BatchTerms>& stored) {
  const QByteArray fingerprint = Digest(now).left(16);
  for (const BatchTerms& terms : stored) {
    const std::optional<PagerData> start = BatchStartOf(terms.start);
    if (!start) continue;
    Order order = BatchOrder(file, *start, terms.total, true);
    for (const OrderRow& row : order.rows)
      if (row.fingerprint == fingerprint) {
        order.name = terms.name;
        const int at = row.row;
        // FILE steps only after a verified write: the pagers before its row were all written,
        // even one whose record a kill cut off, and their capcodes are never given again.
        order.rows.erase(order.rows.begin(), order.rows.begin() + (at - 1));
        return ResumedBatch{std::move(order), at, terms.total};
      }
  }
  return std::nullopt;
}

Order BatchOrder(const QString& file, const PagerData& start, int count, bool step) {
  Order order;
  order.file = file;
  order.name = BatchNamePrefix(file) + QString::number(ReadCapcode(start.image, 0));
  PagerData data = start;
  ModelPageSet pages(data, DisplayMode::Advanced);
  pages.ExchangeAllPages(Direction::Load);
  for (int n = 1; n <= count; ++n) {
    pages.ExchangeAllPages(Direction::Store);
    OrderRow row;
    row.row = n;
    row.data = data;
    row.fingerprint = Digest(data).left(16);
    order.rows.push_back(std::move(row));
    if (step) ManuallyIncrement(pages.Page(PageId::General).Values());
  }
  return order;
}

Result<QByteArray> StepCapcodesInText(const QByteArray& text, const std::vector<int>& before,
                                      const std::vector<int>& after) {
  YAML::Node root;
  try {
    root = YAML::Load(text.toStdString());
  } catch (const YAML::Exception& e) {
    return Failed(QString(), QString::fromStdString(e.msg));
  }
  QByteArray stepped = text;
  // From the last row to the first, so that a longer number does not move the rows before it.
  for (int row = int(before.size()) - 1; row >= 0; --row) {
    if (before[size_t(row)] == after[size_t(row)]) continue;
    const auto span = CapcodeSpan(text, root, row);
    if (!span)
      return Failed(QString(), QStringLiteral("capcode %1 is not written in it (it comes from the base or the "
                                              "defaults), so it cannot be stepped there")
                                   .arg(row + 1));
    if (text.mid(span->first, span->second).toInt() != before[size_t(row)])
      return Failed(QString(), QStringLiteral("capcode %1 in it is %2, not %3")
                                   .arg(row + 1)
                                   .arg(QString::fromLatin1(text.mid(span->first, span->second)))
                                   .arg(before[size_t(row)]));
    stepped.replace(span->first, span->second, QByteArray::number(after[size_t(row)]));
  }
  return stepped;
}

}  // namespace m84::fleet
