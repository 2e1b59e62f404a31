#pragma once
// The settings pages in the fixed order in which the main window drives them.

#include <array>

namespace m84 {

enum class PageId {
  General,
  Display,
  Alerting,
  NameMisc,
  Reminders,
  Duplicate,
  Folders,
  OutOfRange,
  Ota,
  Canned,
  Tones,
  Cadence,
  Basic,  // not in the tab strip: shown in its place in basic mode
};

enum class DisplayMode { Basic, Advanced };

struct PageInfo {
  PageId id;
  const char* tabLabel;  // exactly as shown, blanks included
  const char* tabTip;
  int reportPage;
};

constexpr int kTabPageCount = 12;

// Tab index = position in this table.
inline constexpr std::array<PageInfo, kTabPageCount> kTabPages = {{
    {PageId::General, " General", "General setting", 1},
    {PageId::Display, "Display", "Display setting", 1},
    {PageId::Alerting, " Alerting", "Alert options, Beep and Vibrate code seeting", 1},
    {PageId::NameMisc, "Name / Misc", "Miscellaneous and User menu option etc", 1},
    {PageId::Reminders, "Reminders", "Unread message Reminder", 1},
    {PageId::Duplicate, "Duplicate Message", "Duplicate or Repeat message setting", 1},
    {PageId::Folders, " Folders ", "Public holder folder", 2},
    {PageId::OutOfRange, "Out of Range / Display Cap", "Out of Range and Code name", 2},
    {PageId::Ota, "Over The Air", "Over the air options", 2},
    {PageId::Canned, "Hand Program/Canned MSG", "Hand programming and Canned message", 2},
    {PageId::Tones, " Tones ", "Priority and decoding", 2},
    {PageId::Cadence, "Cadence ", "Cadence setting", 2},
}};

inline int TabIndexOf(PageId id) { return static_cast<int>(id); }

}  // namespace m84
