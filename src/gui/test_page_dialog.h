#pragma once
// Tools, Test Page...: what `m84dpt page check` says, over the settings on screen. The page (its
// capcode, function, kind and message) and, where they are to be checked, the speed, polarity
// and frequency it is sent with; Check stores the pages into the image and shows the verdict.
// The box stays open beside the window, so a setting can be changed and the page checked again.
// A site profile chosen in the box sends the page as the site does and names the rows that would
// not hear the site; Write with Review names them too.
//
//   auto* box = new TestPageDialog([this] { return SettingsOnScreen(); }, dialogs, this);
//   box->show();

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

#include "core/image/pager_image.h"
#include "core/paging/site_profile.h"
#include "gui/file_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace m84 {

class TestPageDialog : public QDialog {
  Q_OBJECT
 public:
  // The settings on screen, stored into the image; nothing when a control on screen refuses its
  // text (the window says why).
  using Settings = std::function<std::optional<PagerData>()>;

  TestPageDialog(Settings settings, std::shared_ptr<FileDialogs> dialogs, QWidget* parent = nullptr);

  // The verdict on the page as the controls describe it, shown in the box; where no page can be
  // made of them (a capcode out of range), what is wrong instead.
  void Check();
  QString Verdict() const;
  // Whether the last check found that the pager alerts (and, with a site, every row hears it).
  bool Alerts() const { return alerts_; }
  // Site Profile...: the profile chosen in the file dialog, or why it was refused, in the box.
  void ChooseSite();
  const std::optional<paging::SiteProfile>& Site() const { return site_; }

  // The controls, for the tests.
  QLineEdit* CapcodeEdit() const { return capcode_; }
  QComboBox* FunctionList() const { return function_; }
  QComboBox* ContentList() const { return content_; }
  QLineEdit* MessageEdit() const { return message_; }
  QComboBox* BaudList() const { return baud_; }
  QComboBox* PolarityList() const { return polarity_; }
  QLineEdit* FrequencyEdit() const { return frequency_; }
  QPushButton* CheckButton() const { return check_; }
  QLabel* SiteLabel() const { return siteLabel_; }

 private:
  void ContentChanged();
  void Show(const QString& text);

  Settings settings_;
  std::shared_ptr<FileDialogs> dialogs_;
  std::optional<paging::SiteProfile> site_;
  QLabel* siteLabel_ = nullptr;
  QLineEdit* capcode_ = nullptr;
  QComboBox* function_ = nullptr;
  QComboBox* content_ = nullptr;
  QLineEdit* message_ = nullptr;
  QComboBox* baud_ = nullptr;
  QComboBox* polarity_ = nullptr;
  QLineEdit* frequency_ = nullptr;
  QPushButton* check_ = nullptr;
  QPlainTextEdit* verdict_ = nullptr;
  bool alerts_ = false;
};

}  // namespace m84
