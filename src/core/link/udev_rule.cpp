#include "core/link/udev_rule.h"

namespace m84 {

namespace {

QString UdevHex(uint16_t id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')); }

}  // namespace

// uaccess: the user at the desktop may open it; the group: so may dialout's members, also over
// ssh. ID_MM_DEVICE_IGNORE: ModemManager would otherwise send modem commands to a new ACM device
// for several seconds after it is plugged in.
QString UdevRuleLine(const QString& vendor, const QString& product) {
  return QStringLiteral(
             "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", "
             "TAG+=\"uaccess\", GROUP=\"dialout\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"")
      .arg(vendor, product);
}

QString UdevRuleText(const UsbIds& ids) {
  const QString vendor = UdevHex(ids.vendor), product = UdevHex(ids.product);
  return QStringLiteral(
             "# M84 DPT programming adapter, USB %1:%2 (made by m84dpt udev-rule).\n"
             "# The user logged in at the desktop and the members of dialout may use it without root;\n"
             "# ModemManager leaves it alone.\n"
             "%3\n")
      .arg(vendor, product, UdevRuleLine(vendor, product));
}

}  // namespace m84
