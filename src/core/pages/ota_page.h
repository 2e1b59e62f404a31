#pragma once
// The Over The Air page without its controls: which commands received in a message the pager
// obeys, the nine command texts it looks for, and the checks that keep those texts usable.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page.
constexpr int kFixedOtaOffset = 0x88;
constexpr int kFlexibleOtaOffset = 0x89;
// Set on every store; its meaning is not known, but the pager expects it.
constexpr uint8_t kOtaAlwaysSetBit = 0x01;
constexpr int kOtaCommandLength = 9;  // each field is followed by a byte the page never writes
constexpr int kOtaCommandCount = 9;
constexpr int kOtaCommandMinUsable = 4;

// A command is usable with 4 to 9 leading characters above 0x20 and below 0x80.
constexpr ushort kLastControlCode = 0x20;
constexpr ushort kFirstHighCode = 0x80;

// The enable-password command must start with four digits; a shorter entry is checked as if
// padded with "0" to six characters.
constexpr int kPasswordCommandDigits = 4;
constexpr int kPasswordCommandCheckLength = 6;

namespace ota_key {
inline const QString kCadence = QStringLiteral("otaCadence");
inline const QString kEnablePassword = QStringLiteral("otaEnablePassword");
inline const QString kEnablePasswordCommand = QStringLiteral("enablePasswordCommand");
}  // namespace ota_key

// The four commands that are simply allowed or not, bits of byte 0x88, in page order.
struct FixedOtaOption {
  const char* key;
  const char* label;  // exactly as shown, doubled blanks included
  const char* example;
  const char* reportLine;
  uint8_t bit;
};
extern const std::array<FixedOtaOption, 4> kFixedOtaOptions;

// The six commands with texts, bits of byte 0x89, in page order. The cadence option has no
// command of its own: it enables the four cadence commands.
struct FlexibleOtaOption {
  const char* key;
  const char* label;
  const char* reportLine;
  uint8_t bit;
  const char* command;  // nullptr for the cadence option
};
extern const std::array<FlexibleOtaOption, 6> kFlexibleOtaOptions;

// The nine command texts, in the order ValidateCommands takes them.
struct OtaCommand {
  const char* key;
  int offset;
  const char* enabledBy;  // the option whose check box enables the edit
};
extern const std::array<OtaCommand, kOtaCommandCount> kOtaCommands;
constexpr int kFirstCadenceCommand = 5;  // J, K, L, M follow in this order

// Fixed texts of the page.
extern const QString kOtaCommandMessage;
extern const QString kOtaCommandHint;
extern const QString kOtaExampleHeading;

// The leading characters that count, after white space is removed at both ends.
int UsableCommandLength(const QString& text);
bool IsUsableCommand(const QString& text);
// The texts as shown in the edit boxes, in the order of kOtaCommands; false at the first
// unusable one.
bool ValidateCommands(const QStringList& texts);

// The padded text that becomes the last accepted one, or nothing when the entry is refused.
std::optional<QString> AcceptedPasswordCommand(const QString& text);

class OtaPageModel : public PageModel {
 public:
  OtaPageModel() : PageModel(PageId::Ota) {}

  void PrintSection(ReportCursor& report) const override;

  // The enable-password command edit gained the focus: what it shows now is what a refused
  // entry goes back to.
  void BeginPasswordCommandEdit();
  // It lost the focus. True: accepted, the caller stores the page. False: the variable holds
  // the last accepted text again; the caller shows it, stores, returns the focus and beeps.
  bool CheckPasswordCommand();
  // The entry was refused: the variable goes back to the last accepted text.
  void RefusePasswordCommand();
  const QString& LastAcceptedPasswordCommand() const { return lastAcceptedPasswordCommand_; }

 protected:
  BindingTable Bindings() const override;
  void StoreRules(PagerData& data) override;

 private:
  QString lastAcceptedPasswordCommand_;
};

}  // namespace m84
