#pragma once
// The settings as text: a YAML document with one mapping per tab page, every setting in the
// window's words, and the bytes no page owns carried beside them so that nothing is lost.
//
//   # M84 DPT settings, written by m84dpt 1.20 on 2026-12-10 16:55 UTC
//   format: m84-settings/1
//   general:
//     capcodes:
//       - private: false
//         enable: true
//         capcode: 1234567
//         auto_increment: "+1"
//     ...
//   display:
//     contrast: "Level 15"
//     # as read from the pager; the window refuses it: Standby Text 1ST: control character U+0080
//     standby_text_1: {as_read: "Zé Müller\x80\x9fÿ"}
//   carried:
//     0x069: "00"
//   selection: "02 02 02 02 02 02 02 02 01 00 00 00 00 00 00 00"
//
// A document read back is applied over a base (the default settings, or another file's) through
// the pages' own store, so a document may hold only some settings. A value the window would
// refuse is written marked as read from the pager, so that the text keeps whatever a data file
// keeps; unmarked, it is refused as in the window.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/image/pager_image.h"

namespace m84 {

inline constexpr char kSettingsFormat[] = "m84-settings/1";

// Where a document was refused, and why; line and column count from 1.
struct SettingsError {
  QString file;
  int line = 0;
  int column = 0;
  QString message;

  // "file:3:5: message", as compilers put it.
  QString Text() const;
};

struct SettingsReadResult {
  std::optional<PagerData> data;
  SettingsError error;
  // The settings the document gave as read from a pager, past the window's checks, each as
  // "key (the window's reason)".
  QStringList asRead;

  explicit operator bool() const { return data.has_value(); }
};

// The whole document for these settings. Reading it over the default settings gives them back
// byte for byte: the image and the selection block.
QByteArray WriteSettingsDocument(const PagerData& data);
// The settings of data the window would refuse as they are, each as "key (the window's reason)":
// a document gives them as read from the pager, marked {as_read: ...}.
QStringList SettingsGivenAsRead(const PagerData& data);
// Only what differs in `to`, as a document that gives `to` when read over `from`.
QByteArray WriteSettingsPatch(const PagerData& from, const PagerData& to);
// The document applied over base; file names the document in an error.
SettingsReadResult ReadSettingsDocument(const QByteArray& text, const PagerData& base, const QString& file = QString());

// One line per differing setting in tab order ("Display / LCD Contrast: Level 15 → Level 11"),
// then the differing carried bytes by offset. Empty when the settings are the same.
QStringList SettingsDifferences(const PagerData& from, const PagerData& to);

// Every key with its page, label and the values it accepts, as Markdown.
QString SettingsReference();

}  // namespace m84
