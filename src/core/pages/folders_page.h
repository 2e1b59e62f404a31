#pragma once
// The Folders page without its controls: twelve public-holder folders, four for each of the
// public capcodes 4, 5 and 6 (one per function code), each with an enable switch, a name and an
// alert. A folder can be edited only while its capcode is enabled and public in the image.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

constexpr int kFolderCount = 12;
constexpr int kFoldersPerCapcode = 4;      // one per function code
constexpr int kFirstFolderCapcodeRow = 3;  // capcode 4, counted from row 0
// Folder n's byte in the per-capcode-and-function table.
constexpr int kFolderFlagsOffset = image_map::kFolderDisabled.offset;
constexpr uint8_t kFolderDisabledBit = image_map::kFolderDisabled.mask;  // clear = enabled
constexpr uint8_t kFolderAlertMask = image_map::kFolderAlert.mask;
constexpr int kFolderNameOffset = image_map::kFolderNames.offset;
constexpr int kFolderNameStride = image_map::kFolderNames.stride;
constexpr int kFolderNameLength = image_map::kFolderNames.length;

inline int FolderFlagsOffset(int folder) { return kFolderFlagsOffset + (folder - 1); }
inline int FolderNameOffset(int folder) { return kFolderNameOffset + kFolderNameStride * (folder - 1); }
// The capcode row (0-7) whose function codes folder n (1-12) belongs to.
inline int FolderCapcodeRow(int folder) { return kFirstFolderCapcodeRow + (folder - 1) / kFoldersPerCapcode; }

// Page variables; folders are numbered 1 to 12 as the page shows them.
namespace folder_key {
inline QString Enable(int folder) { return Key("folderEnable", folder); }
inline QString Name(int folder) { return Key("folderName", folder); }
inline QString Alert(int folder) { return Key("folderAlert", folder); }
// Whether the folder's capcode is enabled and public: taken from the image on every load.
inline QString Available(int folder) { return Key("folderAvailable", folder); }
}  // namespace folder_key

// List entries, in the order the alert lists show them.
extern const QStringList kFolderAlertEntries;
enum FolderAlert { kAlertNormal, kAlertShortBeep, kAlertNoBeep };

extern const QString kFolderNameHint;
extern const QString kFolderFrameHeader;

// The capcode of row 0-7 in the image is enabled and public.
bool CapcodeIsPublic(const PagerImage& image, int row);

// The enabling rule of folder n on the page's variables.
bool FolderSwitchEnabled(const PageValues& values, int folder);
bool FolderFieldsEnabled(const PageValues& values, int folder);

class FoldersPageModel : public PageModel {
 public:
  FoldersPageModel() : PageModel(PageId::Folders) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
  void LoadRules(const PagerData& data) override;
};

}  // namespace m84
