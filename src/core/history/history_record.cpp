#include "core/history/history_record.h"

#include <QStringList>

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"

namespace m84 {

namespace {

constexpr qint64 kHzPerFrequencyStep = 100;

bool RowEnabled(const PagerImage& image, int row) {
  return (image[CapcodeFieldOffset(row)] & kCapcodeEnableBit) == 0;  // a clear bit enables the row
}

}  // namespace

QString OperationName(HistoryOperation operation) {
  switch (operation) {
    case HistoryOperation::Read: return QStringLiteral("read");
    case HistoryOperation::Write: return QStringLiteral("write");
    case HistoryOperation::Backup: break;
  }
  return QStringLiteral("backup");
}

void FillSearchColumns(HistoryRecord& record) {
  record.capcodes = {};
  record.serial.clear();
  record.frequencyHz.reset();
  if (!record.data) return;
  const PagerImage& image = record.data->image;
  record.serial = ReadZeroPaddedText(image, kSerialOffset, kSerialSize);
  for (int row = 0; row < kHistoryCapcodeCount; ++row)
    if (RowEnabled(image, row)) record.capcodes[size_t(row)] = int(ReadCapcode(image, row));
  record.frequencyHz = qint64(ReadBcd(image, kFrequencyOffset, kFrequencySize)) * kHzPerFrequencyStep;
}

QString CapcodeList(const HistoryRecord& record) {
  QStringList list;
  for (const std::optional<int>& capcode : record.capcodes)
    if (capcode) list << QString::number(*capcode);
  return list.join(QStringLiteral(", "));
}

}  // namespace m84
