#pragma once
// The Cadence page without its controls: the thirteen alert cadences A to M, each a pattern of
// eight eighth-second slots, an M value, a gap G and a duration in seconds. The Alerting page
// names these cadences by letter.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page: one four-byte record per cadence. The records just before A and
// just after M have the same shape but belong to nobody here.
constexpr int kCadenceOffset = 0x130;
constexpr int kCadenceRecordSize = 4;
constexpr int kCadenceCount = 13;
constexpr int kCadencePatternByte = 0;
constexpr int kCadenceSlotCount = 8;
constexpr uint8_t kFirstSlotBit = 0x80;  // slot 1, the box with the row's label

// The three number columns of the grid, right of the eight slots.
struct CadenceNumberColumn {
  const char* keyName;  // cell keys: keyName and the cadence 0-12 ("cadenceM3")
  QString heading;      // exactly as shown
  int recordByte;
  int checkLo;  // the check on leaving the edit
  int checkHi;
  QString message;  // when the check fails
  QString hint;
  // Kept within these on load and on store; the page variable keeps what was entered.
  int keptLo;
  int keptHi;
  int initial;  // before the first load
};
constexpr int kCadenceMColumn = 0;
constexpr int kCadenceGColumn = 1;
constexpr int kCadenceDurationColumn = 2;
constexpr int kCadenceNumberColumnCount = 3;
extern const std::array<CadenceNumberColumn, kCadenceNumberColumnCount> kCadenceNumberColumns;

// Fixed texts of the page.
extern const QString kCadenceFrame;
extern const QString kCadenceSlotHeading;
extern const QStringList kCadenceGroupLabels;  // under the grid

QChar CadenceLetter(int cadence);
QString CadenceLabel(int cadence);  // "Cadence [A]" written left of slot 1
int CadenceRecordOffset(int cadence);
uint8_t CadenceSlotBit(int slot);
QString CadenceSlotKey(int cadence, int slot);
QString CadenceNumberKey(const CadenceNumberColumn& column, int cadence);

class CadencePageModel : public PageModel {
 public:
  CadencePageModel();

  // The numbers printed are the variables as entered, not the values kept in the image.
  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
