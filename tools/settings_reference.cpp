// Writes the reference of every settings-text key, made from the pages' declarations, into the
// file named: the build keeps docs/settings-format.md from it.
//
//   settings_reference OUT.md

#include <QFile>
#include <cstdio>

#include "core/settings/settings_document.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: settings_reference OUT.md\n");
    return 2;
  }
  QFile out(QString::fromLocal8Bit(argv[1]));
  const QByteArray text = m84::SettingsReference().toUtf8();
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size()) {
    std::fprintf(stderr, "settings_reference: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
