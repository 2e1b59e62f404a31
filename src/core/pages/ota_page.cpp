#include "core/pages/ota_page.h"

#include "core/pages/field_codecs.h"

namespace m84 {

namespace {

QString KeyOf(const char* key) { return QString::fromLatin1(key); }

bool IsUsableCharacter(QChar c) { return c.unicode() > kLastControlCode && c.unicode() < kFirstHighCode; }

// Only ASCII white space: 0x85 and 0xA0 are characters of the pager's own sets, and a command
// that starts with one is no usable command.
bool IsAsciiWhiteSpace(QChar c) {
  const char16_t u = c.unicode();
  return u == ' ' || (u >= '\t' && u <= '\r');
}

QString TrimmedAsciiWhiteSpace(const QString& text) {
  qsizetype first = 0, end = text.size();
  while (first < end && IsAsciiWhiteSpace(text[first])) ++first;
  while (end > first && IsAsciiWhiteSpace(text[end - 1])) --end;
  return text.mid(first, end - first);
}

bool IsPasswordCommandText(const QString& text) { return AcceptedPasswordCommand(text).has_value(); }

// The option the command belongs to, or the cadence it sets.
QString CommandLabel(const OtaCommand& command) {
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions)
    if (option.command && qstrcmp(option.command, command.key) == 0)
      return QString::fromLatin1(option.label).simplified() + QStringLiteral(" command");
  const int cadence = int(&command - kOtaCommands.data()) - kFirstCadenceCommand;
  return QStringLiteral("Cadence \"%1\" command").arg(QChar('J' + cadence));
}

// The lines no row says alone: an option with the command that does it, and the four cadence
// commands.
QString OptionWithCommandLine(const FlexibleOtaOption& option, const PageValues& v) {
  return QString::fromLatin1(option.reportLine)
      .arg(YesNoText(v.Flag(KeyOf(option.key))), v.Text(KeyOf(option.command)));
}

QString CadenceCommandsLine(const PageValues& v) {
  QStringList cadences;
  for (int i = kFirstCadenceCommand; i < kOtaCommandCount; ++i) cadences << v.Text(KeyOf(kOtaCommands[size_t(i)].key));
  return QStringLiteral("  Cadence J[%1]  K[%2]  L[%3]  M[%4]").arg(cadences[0], cadences[1], cadences[2], cadences[3]);
}

}  // namespace

const std::array<FixedOtaOption, 4> kFixedOtaOptions = {{
    {"otaSetTime", "Allow OTA  to set the time", "[0090][1245-0][010408]", "Allow OTA command to set the time: %1",
     0x80},
    {"otaSetCapcode", "Allow OTA  to set the Cap Code and Baud Rate", "[0094][0000008][1-512]",
     "Allow OTA command to set Cap code and baud rate: %1", 0x40},
    {"otaAddressFunction", "Allow OTA  to enable/disable Address and Function", "[0095][1A][0]",
     "Allow OTA command to enable/disable Address & Function: %1", 0x20},
    {"otaSetAlert", "Allow OTA to set the alert", "[0093][1]alert beep", "Allow OTA to set the alert: %1", 0x10},
}};

const std::array<FlexibleOtaOption, 6> kFlexibleOtaOptions = {{
    {"otaTurnOff", "Allow OTA  to turn the pager off", "Allow OTA to turn the pager off: %1 [%2]", 0x80,
     "turnOffCommand"},
    {"otaDelete", "Allow OTA  to delete the MSG", "Allow OTA to delete the message: %1 [%2]", 0x40, "deleteCommand"},
    {"otaTurnOffDelete", "Allow OTA  to turn the pager off  and delete the MSG",
     "Allow OTA to turn the pager of and delete the message: %1 [%2]", 0x20, "turnOffDeleteCommand"},
    {"otaDisable", "Allow OTA  to disable OTA", "Allow OTA to able/disable OTA: %1 [%2]", 0x08, "disableOtaCommand"},
    {"otaEnablePassword", "Allow OTA  to enable MSG password", "Allow OTA to enable message password: %1 [%2]", 0x04,
     "enablePasswordCommand"},
    {"otaCadence", "Allow OTA  to set the special cadence", "Allow OTA to set the special cadence: %1", 0x10, nullptr},
}};

const std::array<OtaCommand, kOtaCommandCount> kOtaCommands = {{
    {"turnOffCommand", 0x92, "otaTurnOff"},
    {"deleteCommand", 0x9C, "otaDelete"},
    {"turnOffDeleteCommand", 0xA6, "otaTurnOffDelete"},
    {"disableOtaCommand", 0xD8, "otaDisable"},
    {"enablePasswordCommand", 0xE2, "otaEnablePassword"},
    {"cadenceJCommand", 0xB0, "otaCadence"},
    {"cadenceKCommand", 0xBA, "otaCadence"},
    {"cadenceLCommand", 0xC4, "otaCadence"},
    {"cadenceMCommand", 0xCE, "otaCadence"},
}};

const QString kOtaCommandMessage = QStringLiteral("OTA command is from 4 to 9 alphanumeric characters");
const QString kOtaCommandHint = QStringLiteral("OTA command Must enter from 4 to 9 alphanumeric characters");
const QString kOtaExampleHeading = QStringLiteral("example");

int UsableCommandLength(const QString& text) {
  const QString trimmed = TrimmedAsciiWhiteSpace(text);
  int count = 0;
  while (count < trimmed.size() && IsUsableCharacter(trimmed[count])) ++count;
  return count;
}

bool IsUsableCommand(const QString& text) {
  const int count = UsableCommandLength(text);
  return count >= kOtaCommandMinUsable && count <= kOtaCommandLength;
}

bool ValidateCommands(const QStringList& texts) {
  for (const QString& text : texts)
    if (!IsUsableCommand(text)) return false;
  return true;
}

std::optional<QString> AcceptedPasswordCommand(const QString& text) {
  QString padded = text;
  while (padded.size() < kPasswordCommandCheckLength) padded.append(QLatin1Char('0'));
  for (int i = 0; i < kPasswordCommandDigits; ++i) {
    const QChar c = padded[i];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  }
  return padded;
}

void OtaPageModel::BeginPasswordCommandEdit() {
  lastAcceptedPasswordCommand_ = Values().Text(ota_key::kEnablePasswordCommand);
}

bool OtaPageModel::CheckPasswordCommand() {
  if (const std::optional<QString> accepted = AcceptedPasswordCommand(Values().Text(ota_key::kEnablePasswordCommand))) {
    lastAcceptedPasswordCommand_ = *accepted;
    return true;
  }
  RefusePasswordCommand();
  return false;
}

void OtaPageModel::RefusePasswordCommand() {
  Values().Set(ota_key::kEnablePasswordCommand, lastAcceptedPasswordCommand_);
}

BindingTable OtaPageModel::Bindings() const {
  BindingTable table;
  for (const FixedOtaOption& option : kFixedOtaOptions)
    table.push_back(field::Flag(KeyOf(option.key), kFixedOtaOffset, option.bit)
                        .Labelled(QString::fromLatin1(option.label).simplified())
                        .Captioned(QString::fromLatin1(option.label))
                        .Reported(QString::fromLatin1(option.reportLine), Wording::YesNo));
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions) {
    FieldBinding binding = field::Flag(KeyOf(option.key), kFlexibleOtaOffset, option.bit)
                               .Labelled(QString::fromLatin1(option.label).simplified())
                               .Captioned(QString::fromLatin1(option.label));
    if (option.command)
      binding.ReportedBy([&option](const PageValues& v) { return QStringList{OptionWithCommandLine(option, v)}; });
    else
      binding.Reported(QString::fromLatin1(option.reportLine), Wording::YesNo);
    table.push_back(std::move(binding));
  }
  // Every command keeps the user on the page until it is usable; the password command is also
  // checked for its digits when the user leaves it.
  for (const OtaCommand& command : kOtaCommands) {
    FieldBinding binding = field::FixedText(KeyOf(command.key), command.offset, kOtaCommandLength)
                               .Labelled(CommandLabel(command))
                               .Guarding(IsUsableCommand, kOtaCommandMessage)
                               .Hinted(kOtaCommandHint)
                               .EnabledWhen(IsSet(KeyOf(command.enabledBy)));
    if (KeyOf(command.key) == ota_key::kEnablePasswordCommand)
      binding.Accepting(IsPasswordCommandText, kOtaCommandMessage);
    table.push_back(binding);
  }
  return table;
}

void OtaPageModel::StoreRules(PagerData& data) { data.image[kFlexibleOtaOffset] |= kOtaAlwaysSetBit; }

void OtaPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Over The Air]"));
  PrintRows(report);
  report.PrintLine(CadenceCommandsLine(Values()));
}

}  // namespace m84
