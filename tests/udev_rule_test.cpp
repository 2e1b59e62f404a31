// "m84dpt udev-rule": the rule for the plugged-in adapter's ids, which adapter counts as plugged
// in, and what --install does with and without root. The port information and the system are
// stood in: the simulated adapter has no USB ids, and tests must not touch /etc.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include "cli/udev_rule_command.h"
#include "core/link/udev_rule.h"

using namespace m84;

namespace {

class FakePorts : public PortInformation {
 public:
  QList<SerialDeviceInfo> UsbSerialDevices() const override { return devices; }
  QList<SerialDeviceInfo> devices;
};

class FakeUdev : public UdevSystem {
 public:
  const PortInformation& Ports() const override { return ports; }
  bool IsRoot() const override { return root; }
  Outcome WriteRuleFile(const QString& path, const QString& text) override {
    written.append({path, text});
    if (!writable) return Failed({}, QStringLiteral("read-only"));
    return Succeeded();
  }
  Outcome ReloadRules() override {
    ++reloads;
    if (!reloadWorks) return Failed({}, QStringLiteral("udevadm missing"));
    return Succeeded();
  }
  void Print(const QString& text) override { out += text; }
  void Note(const QString& text) override { notes << text; }

  int Run(const QStringList& arguments) { return RunUdevRule(arguments, *this); }

  FakePorts ports;
  bool root = false;
  bool writable = true;
  bool reloadWorks = true;
  QList<QPair<QString, QString>> written;
  int reloads = 0;
  QString out;
  QStringList notes;
};

const char kRuleFor04d8000a[] =
    "# M84 DPT programming adapter, USB 04d8:000a (made by m84dpt udev-rule).\n"
    "# The user logged in at the desktop and the members of dialout may use it without root;\n"
    "# ModemManager leaves it alone.\n"
    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"000a\", TAG+=\"uaccess\", "
    "GROUP=\"dialout\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";

class UdevRule : public ::testing::Test {
 protected:
  void SetUp() override {
    qunsetenv("M84DPT_PORT");
    udev.ports.devices = {{QStringLiteral("/dev/ttyUSB0"), UsbIds{0x0403, 0x6001}},
                          {QStringLiteral("/dev/ttyACM0"), UsbIds{0x04D8, 0x000A}}};
  }
  FakeUdev udev;
};

}  // namespace

TEST_F(UdevRule, PrintsTheRuleForTheFirstDeviceByPathInUdevsHexSpelling) {
  EXPECT_EQ(udev.Run({}), 0);
  EXPECT_EQ(udev.out, QLatin1String(kRuleFor04d8000a));
  EXPECT_TRUE(udev.written.isEmpty());
  EXPECT_EQ(udev.reloads, 0);
}

TEST_F(UdevRule, TheNamedPortChoosesTheDevice) {
  EXPECT_EQ(udev.Run({QStringLiteral("--port"), QStringLiteral("ttyUSB0")}), 0);
  EXPECT_TRUE(udev.out.contains(QLatin1String("ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\"")));
  qputenv("M84DPT_PORT", "/dev/ttyUSB0");
  udev.out.clear();
  EXPECT_EQ(udev.Run({}), 0);
  qunsetenv("M84DPT_PORT");
  EXPECT_TRUE(udev.out.contains(QLatin1String("ATTRS{idVendor}==\"0403\"")));
}

TEST_F(UdevRule, NoAdapterOrNoIdsSaysSoAndExitsWithOne) {
  struct Case {
    QList<SerialDeviceInfo> devices;
    QStringList arguments;
    const char* note;
  };
  const Case cases[] = {
      {{}, {}, "no adapter is plugged in (no USB serial device found)"},
      {{{QStringLiteral("/dev/ttyACM0"), UsbIds{1, 2}}},
       {QStringLiteral("--port"), QStringLiteral("/dev/ttyACM1")},
       "no adapter is plugged in at /dev/ttyACM1"},
      {{{QStringLiteral("/dev/ttyACM0"), std::nullopt}},
       {},
       "/dev/ttyACM0: its USB vendor and product id are unknown (is udev running?)"},
  };
  for (const Case& c : cases) {
    FakeUdev empty;
    empty.root = true;
    empty.ports.devices = c.devices;
    EXPECT_EQ(empty.Run(c.arguments + QStringList{QStringLiteral("--install")}), 1) << c.note;
    EXPECT_EQ(empty.notes, QStringList{QLatin1String(c.note)});
    EXPECT_TRUE(empty.out.isEmpty());
    EXPECT_TRUE(empty.written.isEmpty());
  }
}

TEST_F(UdevRule, InstallRefusesPlainlyWithoutRootAndTouchesNothing) {
  EXPECT_EQ(udev.Run({QStringLiteral("--install")}), 1);
  EXPECT_EQ(udev.notes, QStringList{QStringLiteral("installing the rule in /etc/udev/rules.d/70-m84dpt.rules needs "
                                                   "root; run: sudo m84dpt udev-rule --install")});
  EXPECT_TRUE(udev.written.isEmpty());
  EXPECT_EQ(udev.reloads, 0);
  // The rule is still shown, for copying by hand.
  EXPECT_EQ(udev.out, QLatin1String(kRuleFor04d8000a));
}

TEST_F(UdevRule, InstallAsRootWritesTheRuleThenReloadsUdev) {
  udev.root = true;
  EXPECT_EQ(udev.Run({QStringLiteral("--install")}), 0);
  ASSERT_EQ(udev.written.size(), 1);
  EXPECT_EQ(udev.written[0].first, QStringLiteral("/etc/udev/rules.d/70-m84dpt.rules"));
  EXPECT_EQ(udev.written[0].second, QLatin1String(kRuleFor04d8000a));
  EXPECT_EQ(udev.reloads, 1);
  EXPECT_EQ(udev.notes, QStringList{QStringLiteral("the rule is in /etc/udev/rules.d/70-m84dpt.rules and applies "
                                                   "to /dev/ttyACM0 now")});
}

TEST_F(UdevRule, InstallFailuresExitWithOne) {
  udev.root = true;
  udev.writable = false;
  EXPECT_EQ(udev.Run({QStringLiteral("--install")}), 1);
  EXPECT_EQ(udev.reloads, 0);
  EXPECT_EQ(udev.notes, QStringList{QStringLiteral("read-only")});

  FakeUdev noUdevadm;
  noUdevadm.root = true;
  noUdevadm.reloadWorks = false;
  noUdevadm.ports.devices = udev.ports.devices;
  EXPECT_EQ(noUdevadm.Run({QStringLiteral("--install")}), 1);
  EXPECT_EQ(noUdevadm.notes, QStringList{QStringLiteral("the rule is in /etc/udev/rules.d/70-m84dpt.rules, but udev "
                                                        "did not take it up: udevadm missing")});
}

TEST_F(UdevRule, UsageErrors) {
  EXPECT_EQ(udev.Run({QStringLiteral("extra")}), 2);
  EXPECT_EQ(udev.Run({QStringLiteral("--bogus")}), 2);
  EXPECT_TRUE(udev.out.isEmpty());
}

// The package's commented template must stay the rule the command writes.
TEST(UdevRuleTemplate, HoldsTheSameRuleCommentedOutWithPlaceholders) {
  QFile file(QStringLiteral(M84_SOURCE_DIR "/data/udev/") + QLatin1String(kUdevRuleFileName));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  EXPECT_TRUE(lines.contains(QLatin1Char('#') + UdevRuleLine(QStringLiteral("VVVV"), QStringLiteral("PPPP"))));
  for (const QString& line : lines)
    EXPECT_TRUE(line.isEmpty() || line.startsWith(QLatin1Char('#'))) << qPrintable(line);
}
