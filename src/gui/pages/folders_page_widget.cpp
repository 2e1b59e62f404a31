#include "gui/pages/folders_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace folder_key;

constexpr int kFoldersPerFrame = kFolderCount / 2;
enum FolderColumn { kEnableColumn, kNameColumn, kAlertColumn, kColumnCount };

}  // namespace

FoldersPageWidget::FoldersPageWidget(FoldersPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  auto* page = new QHBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(BuildFolderFrame(1, kFoldersPerFrame), 0, Qt::AlignTop);
  page->addWidget(BuildFolderFrame(kFoldersPerFrame + 1, kFolderCount), 0, Qt::AlignTop);
}

// An uncaptioned frame: its header over the three columns, then a row per folder.
QWidget* FoldersPageWidget::BuildFolderFrame(int firstFolder, int lastFolder) {
  auto* frame = new QGroupBox;
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->addWidget(new QLabel(kFolderFrameHeader), 0, 0, 1, kColumnCount);
  for (int folder = firstFolder; folder <= lastFolder; ++folder) {
    const int line = folder - firstFolder + 1;
    grid->addWidget(Made(Enable(folder)), line, kEnableColumn);
    grid->addWidget(Made(Name(folder)), line, kNameColumn);
    grid->addWidget(Made(Alert(folder)), line, kAlertColumn);
  }
  return frame;
}

}  // namespace m84
