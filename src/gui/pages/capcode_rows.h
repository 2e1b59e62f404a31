#pragma once
// The " Capcodes " frame of the General page and the Basic page: eight rows of Enable box,
// capcode edit, Auto Increment list and frame, with a Private column on the General page only.
// Every control is named after its page variable (pages/capcode.h).

#include <array>
#include <vector>

#include "core/pages/capcode.h"
#include "gui/pages/settings_page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace m84 {

struct CapcodeRow {
  QCheckBox* privateBox = nullptr;  // none without a Private column
  QCheckBox* enableBox = nullptr;
  QLineEdit* capcode = nullptr;
  QComboBox* step = nullptr;
  QLineEdit* frame = nullptr;
};
using CapcodeRows = std::array<CapcodeRow, kCapcodeRowCount>;

enum class PrivateColumn { Shown, Absent };

// The frame with its column captions and rows; the page declares the controls.
QGroupBox* BuildCapcodeFrame(PrivateColumn column, CapcodeRows& rows);

// The rows' declarations both pages share. A keystroke that leaves a valid capcode moves the
// row's frame along; other texts wait for the check on leaving the edit, which leaves a rejected
// text as the page says. Rows from tippedRows on have no tool tip.
std::vector<ControlRow> CapcodeControlRows(const CapcodeRows& rows, Rejected rejected, int tippedRows);

}  // namespace m84
