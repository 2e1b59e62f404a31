// The key reference of the settings text, made from the pages' declarations.

#include "core/settings/setting_values.h"
#include "core/settings/settings_catalog.h"
#include "core/settings/settings_document.h"

namespace m84 {

namespace {

using namespace settings_text;

QString MarkdownCell(QString text) { return text.replace(QLatin1Char('|'), QStringLiteral("\\|")); }

QString ReferenceRow(const QString& key, const QString& label, const SettingForm& form) {
  return QStringLiteral("| `%1` | %2 | %3 |\n")
      .arg(key, MarkdownCell(label), MarkdownCell(ValueOf(form).Describe(form)));
}

}  // namespace

QString SettingsReference() {
  QString text =
      QStringLiteral(
          "# The settings as text: every key\n\n"
          "<!-- Made by the build from the pages' declarations: edit those, not this file. -->\n\n"
          "A settings document (`.yaml` or `.yml`) is what `m84dpt convert`, `new` and `read` write when the\n"
          "output ends in `.yaml`, and what every command that loads settings reads. It starts with\n"
          "`format: %1`, then holds one mapping per page, named as the page's tab, in tab order, and\n"
          "last `basic`: the switches only the Basic page (basic mode) shows.\n"
          "A document may hold only some settings: the rest come from `--base FILE`, or from the default\n"
          "settings. A stream holds one document: a second one (after `---` or `...`) is refused, and so\n"
          "is a quote left open. Texts are quoted and hold printable characters of Latin-1 only, as the\n"
          "window's edits do: a control character (NUL, tab, line break, escape, DEL, U+0080 to U+009F)\n"
          "is refused (a text with a check of its own, such as an over-the-air command, is left to that\n"
          "check, as in the window). Trailing blanks are no part of a text: the pages drop them as the window does (a\n"
          "fixed-width text fills the rest of its field with blanks, the startup and standby texts with\n"
          "zero bytes), so `\"Hi  \"` is written into the pager as `\"Hi\"` and comes back so. Any other\n"
          "character at the end, a tab byte held by the pager too, stays. List entries are written\n"
          "without their padding blanks.\n\n"
          "Grids are sequences of rows, each row a mapping; a row written as `{}` is left as it is.\n\n"
          "Two keys carry what no page shows, so that nothing is lost:\n\n"
          "- `carried`: image bytes that no setting gives, as `0x0F0: \"01 02 03\"` (offset, then hex bytes).\n"
          "- `selection`: the 16-byte selection block, as hex bytes.\n\n"
          "They are applied first, so a setting written in the document always wins over them; where a\n"
          "page's store then writes a byte its own way (a padding byte, a bit it always sets), the carried\n"
          "bytes are laid again over it wherever they change no setting, so that a document gives back\n"
          "the image it was written from. A byte that follows a setting changed in the document (the\n"
          "half display time after a new display time) is the page's; remove a carried entry to have the\n"
          "page write its byte in any case. Carried\n"
          "bytes never stand in a setting's place: bytes that would change a setting are refused, naming\n"
          "the key to give instead, so that every setting passes the window's checks.\n\n"
          "A setting that a pager holds as the window would refuse it (a text with a control byte, a\n"
          "frequency off the channel step, a voltage or cadence value out of range, a password with a\n"
          "letter) is kept all the same, marked as read from the pager: a one-key mapping\n"
          "`{%2: VALUE}`, in the setting's own words where it has them (a text with `\\x80` escapes\n"
          "for what is no printable character, a list place with no entry as its number, -1 for none),\n"
          "under a comment naming the window's check. Reading it gives exactly those bytes and says so on\n"
          "standard error; the carried bytes may stand in a marked setting's place. A value the window\n"
          "would refuse without the mark is refused as ever, and so is a mark on a setting without a\n"
          "check (a flag), on `format`, `carried` or `selection`, or a marked value the pager's bytes\n"
          "cannot hold. `write` and `fleet run` with `--strict` refuse settings holding such values.\n")
          .arg(QLatin1String(kSettingsFormat), QLatin1String(kAsReadKey));
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    text += QStringLiteral("\n## %1: `%2`\n\n| Key | Label | Accepts |\n|---|---|---|\n").arg(page.title, page.name);
    for (const Item& item : page.items) {
      if (item.setting) {
        text += ReferenceRow(item.name, item.setting->form.label, item.setting->form);
        continue;
      }
      const auto& first = item.rows.front();
      const QString rows =
          QStringLiteral("%1 … %2").arg(first.front()->form.rowLabel, item.rows.back().front()->form.rowLabel);
      for (Binding binding : first)
        text +=
            ReferenceRow(QStringLiteral("%1[1..%2].%3").arg(item.name).arg(item.rows.size()).arg(binding->form.member),
                         rows + QStringLiteral(": ") + binding->form.label, binding->form);
    }
  }
  return text;
}

}  // namespace m84
