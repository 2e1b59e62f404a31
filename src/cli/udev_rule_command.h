#pragma once
// "m84dpt udev-rule [--install] [--port DEVICE]" over a seam: tests stand in the port
// information, the user's rights and the rule folder.

#include <QString>
#include <QStringList>

#include "core/link/port_information.h"
#include "core/result.h"

namespace m84 {

class UdevSystem {
 public:
  virtual ~UdevSystem() = default;
  virtual const PortInformation& Ports() const = 0;
  virtual bool IsRoot() const = 0;
  // Replaces the rule file.
  virtual Outcome WriteRuleFile(const QString& path, const QString& text) = 0;
  // Has udev read its rules again and apply them to the serial devices plugged in now.
  virtual Outcome ReloadRules() = 0;
  // The rule (standard output) and reasons and outcomes (standard error).
  virtual void Print(const QString& text) = 0;
  virtual void Note(const QString& text) = 0;
};

int RunUdevRule(const QStringList& arguments, UdevSystem& system);

}  // namespace m84
