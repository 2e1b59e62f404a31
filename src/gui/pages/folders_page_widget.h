#pragma once
// The Folders page's controls over FoldersPageModel: folders 1 to 6 in the left frame, 7 to 12
// in the right one, a row each of enable box, name and alert list.

#include "core/pages/folders_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class FoldersPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  FoldersPageWidget(FoldersPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildFolderFrame(int firstFolder, int lastFolder);
};

}  // namespace m84
