#pragma once
// The udev rule that gives the adapter to the desktop user without root and keeps ModemManager
// away from it.

#include <QString>

#include "core/link/port_information.h"

namespace m84 {

// Numbered below 73: systemd turns the uaccess tag into an access list in 73-seat-late.rules,
// so a later rule's tag would come too late.
constexpr char kUdevRuleFolder[] = "/etc/udev/rules.d";
constexpr char kUdevRuleFileName[] = "70-m84dpt.rules";

// The rule's one line for a vendor and product id as udev writes them (four lower-case hex digits,
// or placeholders in the template).
QString UdevRuleLine(const QString& vendor, const QString& product);

// The whole rule file for the adapter with these ids: comments, then the rule.
QString UdevRuleText(const UsbIds& ids);

}  // namespace m84
