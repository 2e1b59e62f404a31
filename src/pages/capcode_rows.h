#pragma once
// The " Capcodes " frame of the General page and the Basic page: eight rows of Enable box,
// capcode edit, Auto Increment list and frame, with a Private column on the General page only.
// Every control is named after its page variable (pages/capcode.h).

#include <array>
#include <functional>

#include "pages/capcode.h"

class QCheckBox;
class QComboBox;
class QEvent;
class QGroupBox;
class QLineEdit;
class QObject;

namespace m84 {

class SettingsPage;

struct CapcodeRow {
  QCheckBox* privateBox = nullptr;  // none without a Private column
  QCheckBox* enableBox = nullptr;
  QLineEdit* capcode = nullptr;
  QComboBox* step = nullptr;
  QLineEdit* frame = nullptr;
};
using CapcodeRows = std::array<CapcodeRow, kCapcodeRowCount>;

enum class PrivateColumn { Shown, Absent };

// The frame with its column captions and rows; the page binds, hints and tips the controls.
QGroupBox* BuildCapcodeFrame(PrivateColumn column, CapcodeRows& rows);

// The handlers both pages share: an Enable box clicked takes the controls and has the page
// recompute its enables; a keystroke that leaves a valid capcode takes the controls and moves
// the row's frame along. Other texts wait for the check on leaving the edit.
void FollowCapcodeRows(SettingsPage& page, const CapcodeRows& rows, std::function<void()> updateEnables);

// Each capcode edit follows its row's Enable variable.
void EnableCapcodeEdits(const CapcodeRows& rows, const PageValues& values);

// The row whose capcode edit this is, or -1.
int CapcodeRowOf(const CapcodeRows& rows, const QObject* control);

}  // namespace m84
