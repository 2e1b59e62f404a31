#include "core/paging/page_check.h"

#include <QRegularExpression>

#include "core/control_characters.h"
#include "core/pages/alerting_page.h"
#include "core/pages/basic_page.h"
#include "core/pages/cadence_page.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/folders_page.h"
#include "core/pages/general_page.h"
#include "core/pages/list_fields.h"
#include "core/pages/list_grid.h"
#include "core/pages/out_of_range_page.h"
#include "core/pages/tones_page.h"

namespace m84::paging {

namespace {

constexpr int kMegahertzDecimals = 4;               // the pager's 100 Hz steps
constexpr char16_t kHighestPocsagCharacter = 0x7F;  // text pages carry seven bits a character
const QString kIndent = QStringLiteral("  ");

// The decoding entries a page's content wants; the Tones page's words.
const QString kNumericDecoding = QStringLiteral("Numeric");
const QString kAlphaDecoding = QStringLiteral("Alpha");
const QString kToneOnlyDecoding = QStringLiteral("Tone only");
const QString kNoDisplayDecoding = QStringLiteral("No display");

const FieldBinding* RowOf(const PageModel& page, const QString& key) {
  for (const FieldBinding& row : page.Table())
    if (row.key == key) return &row;
  return nullptr;
}

// The entry a list shows, as the row names its entries, without the blanks that align it.
QString EntryOf(const PageModel& page, const QString& key) {
  const FieldBinding* row = RowOf(page, key);
  return row ? EntryText(row->form.entries, page.Values().Number(key)).trimmed() : QString();
}

QString Quoted(const QString& text) { return QLatin1Char('"') + EscapeControlCharacters(text) + QLatin1Char('"'); }

QString ContentName(PageContent content) {
  switch (content) {
    case PageContent::Tone: return QStringLiteral("tone-only page");
    case PageContent::Numeric: return QStringLiteral("numeric page");
    case PageContent::Text: return QStringLiteral("text page");
  }
  return QString();
}

// A beep or vibrate code names its cadence by its last letter: "S1A" and "MA" sound cadence A,
// "J" cadence J, "E" the vibrate cadence E.
std::optional<int> CadenceOfCode(const QString& code) {
  if (code.isEmpty()) return std::nullopt;
  const int cadence = code.back().unicode() - QLatin1Char('A').unicode();
  return cadence >= 0 && cadence < kCadenceCount ? std::optional<int>(cadence) : std::nullopt;
}

QString CadenceText(const PageModel& cadences, int cadence) {
  const PageValues& values = cadences.Values();
  QStringList pattern;
  for (int slot = 0; slot < kCadenceSlotCount; ++slot)
    pattern << FlagLetter(values.Flag(CadenceSlotKey(cadence, slot)));
  const auto number = [&](int column) {
    return values.Number(CadenceNumberKey(kCadenceNumberColumns[size_t(column)], cadence));
  };
  return QStringLiteral("cadence %1 (%2, M %3, G %4, %5 s)")
      .arg(CadenceLetter(cadence))
      .arg(pattern.join(QLatin1Char(' ')))
      .arg(number(kCadenceMColumn))
      .arg(number(kCadenceGColumn))
      .arg(number(kCadenceDurationColumn));
}

// "S1A, cadence A (Y Y N N ...)", or the code alone where it names no cadence.
QString CodeText(const QString& code, const PageModel& cadences) {
  if (code.isEmpty()) return QStringLiteral("none");
  const std::optional<int> cadence = CadenceOfCode(code);
  return cadence ? code + QStringLiteral(", ") + CadenceText(cadences, *cadence) : code;
}

// The pager shows a message on lines as wide as the Display page's texts.
int DisplayLineWidth(const PageModel& display) {
  const FieldBinding* startup = RowOf(display, basic_key::kStartupText);
  return startup && startup->form.width > 0 ? startup->form.width : kBasicTextLength;
}

QStringList DisplayLines(const QString& message, int width) {
  QStringList lines;
  for (qsizetype at = 0; at < message.size(); at += width)
    lines << kIndent + kIndent + QLatin1Char('[') + EscapeControlCharacters(message.mid(at, width)) + QLatin1Char(']');
  return lines;
}

// What in the message neither the page nor the pager's lines can carry.
QStringList CharacterMismatches(const TestPage& page) {
  QStringList found;
  for (const QChar c : page.message) {
    if (page.content == PageContent::Numeric && !kNumericPageCharacters.contains(c)) {
      found << QStringLiteral("a numeric page carries only \"%1\": '%2' cannot be sent")
                   .arg(kNumericPageCharacters, EscapeControlCharacters(QString(c)));
      break;
    }
    if (page.content == PageContent::Text && c.unicode() > kHighestPocsagCharacter) {
      found << QStringLiteral("a text page carries seven-bit characters: '%1' cannot be sent").arg(c);
      break;
    }
    if (page.content == PageContent::Text && IsControlCharacter(c)) {
      found << QStringLiteral("the pager's lines hold printable characters, as its texts: %1 is no such character")
                   .arg(EscapeControlCharacters(QString(c)));
      break;
    }
  }
  return found;
}

// The folder of a public capcode's function, or a line saying there is none.
QString FolderText(const PageModel& folders, const CapcodeRow& row, PageFunction function) {
  if (row.isPrivate) return QStringLiteral("none, the capcode is private");
  const int folder = (row.row - kFirstFolderCapcodeRow) * kFoldersPerCapcode + int(function) + 1;
  if (folder < 1 || folder > kFolderCount || FolderCapcodeRow(folder) != row.row)
    return QStringLiteral("none: the public capcodes %1 to %2 have folders")
        .arg(kFirstFolderCapcodeRow + 1)
        .arg(FolderCapcodeRow(kFolderCount) + 1);
  const PageValues& values = folders.Values();
  if (!values.Flag(folder_key::Enable(folder))) return QStringLiteral("%1, disabled").arg(folder);
  return QStringLiteral("%1 %2, alert %3")
      .arg(folder)
      .arg(Quoted(values.Text(folder_key::Name(folder)).trimmed()), EntryOf(folders, folder_key::Alert(folder)));
}

QString DescriptionText(const QString& text, bool shown) {
  return Quoted(text.trimmed()) + (shown ? QString() : QStringLiteral(" (not shown: display text is off)"));
}

// The decoding's verdict on the content: a mismatch, a message not shown, or nothing.
void JudgeDecoding(const QString& decoding, const TestPage& page, const QString& where, PageVerdict& verdict) {
  if (page.content == PageContent::Tone) return;
  if (decoding == kToneOnlyDecoding || decoding == kNoDisplayDecoding) {
    verdict.settings << QStringLiteral("message: not shown (decoding %1)").arg(decoding);
    return;
  }
  if (page.content == PageContent::Text && decoding == kNumericDecoding)
    verdict.mismatches
        << QStringLiteral("a text page to %1, which decodes Numeric: the text shows as digits").arg(where);
  if (page.content == PageContent::Numeric && decoding == kAlphaDecoding)
    verdict.mismatches
        << QStringLiteral("a numeric page to %1, which decodes Alpha: the digits show as text").arg(where);
}

void DescribeAlert(const ProgrammedPager& pager, const CapcodeRow& row, const TestPage& page, PageVerdict& verdict) {
  const int capcode = row.row;
  const int tone = int(page.function);
  const PageModel& alerting = pager.Page(PageId::Alerting);
  const PageModel& tones = pager.Page(PageId::Tones);
  const PageModel& cadences = pager.Page(PageId::Cadence);
  const PageModel& names = pager.Page(PageId::OutOfRange);
  const PageModel& display = pager.Page(PageId::Display);
  const QString beep = EntryOf(alerting, GridCellKey(kBeepCodeGrid, capcode, tone));
  const QString decoding = EntryOf(tones, GridCellKey(kDecodingGrid, capcode, tone));
  const bool namesShown = names.Values().Flag(out_of_range_key::kDisplayText);

  verdict.settings << QStringLiteral("beep code: %1").arg(CodeText(beep, cadences))
                   << QStringLiteral("vibrate code: %1")
                          .arg(CodeText(EntryOf(alerting, GridCellKey(kVibrateCodeGrid, capcode, tone)), cadences))
                   << QStringLiteral("priority: %1").arg(EntryOf(tones, GridCellKey(kPriorityGrid, capcode, tone)))
                   << QStringLiteral("decoding: %1").arg(decoding)
                   << QStringLiteral("folder: %1").arg(FolderText(pager.Page(PageId::Folders), row, page.function))
                   << QStringLiteral("capcode description: %1")
                          .arg(DescriptionText(names.Values().Text(out_of_range_key::CapcodeName(capcode + 1)),
                                               namesShown));
  // Only the beep codes of cadences A to D have descriptions.
  if (const std::optional<int> cadence = CadenceOfCode(beep); cadence && *cadence < kBeepCodeNameCount)
    verdict.settings << QStringLiteral("beep code description: %1")
                            .arg(DescriptionText(names.Values().Text(out_of_range_key::BeepCodeName(*cadence)),
                                                 namesShown));
  const QString where =
      QStringLiteral("capcode row %1 function %2").arg(capcode + 1).arg(PageFunctionLetter(page.function));
  JudgeDecoding(decoding, page, where, verdict);
  if (page.content != PageContent::Tone && verdict.mismatches.isEmpty() && decoding != kToneOnlyDecoding &&
      decoding != kNoDisplayDecoding) {
    const int width = DisplayLineWidth(display);
    if (page.message.isEmpty())
      verdict.settings << QStringLiteral("message: empty");
    else
      verdict.settings << QStringLiteral("message, %1 characters a line:").arg(width)
                       << DisplayLines(page.message, width);
  }
  verdict.mismatches << CharacterMismatches(page);
}

}  // namespace

const QString kNumericPageCharacters = QStringLiteral("0123456789*U -[]");

QStringList PageVerdict::Lines() const {
  QStringList lines;
  if (!alerts) {
    for (const QString& reason : silence) lines << QStringLiteral("silent: ") + reason;
    return lines;
  }
  lines << QStringLiteral("alerts: ") + settings.value(0);
  for (const QString& line : settings.mid(1)) lines << kIndent + line;
  for (const QString& mismatch : mismatches) lines << QStringLiteral("mismatch: ") + mismatch;
  return lines;
}

PageVerdict CheckPage(const PagerData& data, const TestPage& page) {
  const ProgrammedPager pager(data);
  PageVerdict verdict;
  verdict.silence = pager.ReceiverDifferences(page.transmitter, QStringLiteral("the page is sent"));
  std::optional<CapcodeRow> answering;
  std::optional<CapcodeRow> disabled;
  // The first enabled row that holds the capcode answers. The frame is no setting of its own:
  // a row listens in the frame of its capcode, which is the frame the page is sent in.
  for (const CapcodeRow& row : pager.CapcodeRows()) {
    if (row.capcode != page.capcode) continue;
    if (row.enabled) {
      answering = row;
      break;
    }
    if (!disabled) disabled = row;
  }
  if (!answering && disabled)
    verdict.silence
        << QStringLiteral("capcode row %1 holds %2 but is disabled").arg(disabled->row + 1).arg(page.capcode);
  else if (!answering)
    verdict.silence << QStringLiteral("no capcode row holds %1").arg(page.capcode);
  if (!verdict.silence.isEmpty()) return verdict;

  verdict.alerts = true;
  verdict.row = answering->row;
  verdict.settings << QStringLiteral("capcode row %1 holds %2 (frame %3), %4 on function %5")
                          .arg(answering->row + 1)
                          .arg(page.capcode)
                          .arg(CapcodeFrame(page.capcode))
                          .arg(ContentName(page.content), PageFunctionLetter(page.function));
  DescribeAlert(pager, *answering, page, verdict);
  return verdict;
}

ProgrammedPager::ProgrammedPager(const PagerData& data) {
  for (const PageInfo& info : kTabPages) {
    std::unique_ptr<PageModel>& page = pages_[size_t(TabIndexOf(info.id))];
    page = CreatePageModel(info.id);
    page->Load(data);
  }
}

ProgrammedPager::~ProgrammedPager() = default;

const PageModel& ProgrammedPager::Page(PageId id) const { return *pages_[size_t(TabIndexOf(id))]; }

std::vector<CapcodeRow> ProgrammedPager::CapcodeRows() const {
  const PageValues& values = Page(PageId::General).Values();
  std::vector<CapcodeRow> rows;
  for (int row = 0; row < kCapcodeRowCount; ++row)
    rows.push_back({row, values.Number(capcode_key::Capcode(row)), values.Flag(capcode_key::Enable(row)),
                    values.Flag(capcode_key::Private(row))});
  return rows;
}

QStringList ProgrammedPager::ReceiverDifferences(const Transmitter& transmitter, const QString& sender) const {
  const PageModel& general = Page(PageId::General);
  QStringList differences;
  if (transmitter.frequency) {
    const std::optional<uint32_t> own =
        ReadFrequencyText(general.Values().Text(general_key::kFrequency), BlankDigit::Zero);
    if (own != transmitter.frequency)
      differences << QStringLiteral("listens on %1 MHz; %2 on %3 MHz")
                         .arg(own ? MegahertzText(*own) : general.Values().Text(general_key::kFrequency), sender,
                              MegahertzText(*transmitter.frequency));
  }
  if (transmitter.baud) {
    const std::optional<PocsagBaud> own =
        PocsagBaudNamed(EntryOf(general, general_key::kBaudRate).remove(QStringLiteral("bps")));
    if (own != transmitter.baud)
      differences << QStringLiteral("listens at %1 baud; %2 at %3")
                         .arg(EntryOf(general, general_key::kBaudRate).remove(QStringLiteral("bps")), sender)
                         .arg(int(*transmitter.baud));
  }
  if (transmitter.polarity) {
    const QString own = EntryOf(general, general_key::kPolarity);
    if (PocsagPolarityNamed(own) != transmitter.polarity)
      differences << QStringLiteral("listens for %1 POCSAG polarity; %2 with %3")
                         .arg(own.toLower(), sender, PocsagPolarityName(*transmitter.polarity));
  }
  return differences;
}

std::optional<PageFunction> PageFunctionNamed(const QString& name) {
  const QString letter = name.trimmed().toUpper();
  if (letter.size() != 1 || letter[0] < QLatin1Char('A') || letter[0] > QLatin1Char('D')) return std::nullopt;
  return PageFunction(letter[0].unicode() - QLatin1Char('A').unicode());
}

std::optional<PocsagBaud> PocsagBaudNamed(const QString& name) {
  for (PocsagBaud baud : {PocsagBaud::B512, PocsagBaud::B1200, PocsagBaud::B2400})
    if (name.trimmed() == QString::number(int(baud))) return baud;
  return std::nullopt;
}

std::optional<PocsagPolarity> PocsagPolarityNamed(const QString& name) {
  for (PocsagPolarity polarity : {PocsagPolarity::Standard, PocsagPolarity::Negative})
    if (name.trimmed().compare(PocsagPolarityName(polarity), Qt::CaseInsensitive) == 0) return polarity;
  return std::nullopt;
}

std::optional<uint32_t> FrequencyFromMegahertz(const QString& text) {
  static const QRegularExpression kMegahertz(
      QStringLiteral("^(\\d{1,4})(?:\\.(\\d{1,%1})0*)?$").arg(kMegahertzDecimals));
  const QRegularExpressionMatch match = kMegahertz.match(text.trimmed());
  if (!match.hasMatch()) return std::nullopt;
  const uint32_t megahertz = match.captured(1).toUInt();
  const uint32_t fraction = match.captured(2).leftJustified(kMegahertzDecimals, QLatin1Char('0')).toUInt();
  return megahertz * 10000 + fraction;
}

QString PageFunctionLetter(PageFunction function) { return QChar(QLatin1Char('A').unicode() + int(function)); }

QString PocsagPolarityName(PocsagPolarity polarity) {
  return polarity == PocsagPolarity::Standard ? QStringLiteral("standard") : QStringLiteral("negative");
}

QString MegahertzText(uint32_t frequency) { return FrequencyText(frequency).trimmed(); }

PageFunction DefaultPageFunction(PageContent content) {
  return content == PageContent::Text ? PageFunction::D : PageFunction::A;
}

}  // namespace m84::paging
