#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "cli/commands.h"
#include "core/image/dat_file.h"
#include "gui/report_printer.h"
#include "report_text_helpers.h"

using namespace m84;

namespace {

// Two sections with a second column, the rest a heading each.
void PrintFakeSection(PageId id, ReportCursor& report) {
  if (id == PageId::General || id == PageId::Basic) {
    report.PrintLine(QStringLiteral("[General]"));
    const int top = report.LinePosition();
    report.PrintLine(QStringLiteral("Left one"));
    report.ReturnToLine(top);
    report.y += report.lineHeight;
    report.DrawColumn(60, QStringLiteral("Right one"));
    return;
  }
  report.PrintLine(QStringLiteral("[Section %1]").arg(static_cast<int>(id)));
}

QString Collapsed(const QString& text) {
  return QString(text).replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" "));
}

struct Word {
  int page;
  double left;  // points from the sheet's corner
  double top;
  QString text;
};

// Every word with its box; the box's top is where the font's ascent begins.
std::vector<Word> PdfWords(const QString& path) {
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
  if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0) return {};
  static const QRegularExpression kWord(
      QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>([^<]*)</word>)re"));
  std::vector<Word> words;
  int page = 0;
  for (const QString& line : QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (line.contains(QStringLiteral("<page "))) ++page;
    const QRegularExpressionMatch m = kWord.match(line);
    if (m.hasMatch()) words.push_back({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
  }
  return words;
}

constexpr double kPointsPerUnit = 72.0 / 1200;  // the PDF is laid out at 1200 dpi

struct Captured {
  int exitCode;
  QString out;
};

// Runs a command with its standard output going into a file instead of the terminal.
Captured CaptureStdout(const std::function<int()>& run, const QString& file) {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  std::FILE* sink = std::fopen(file.toLocal8Bit().constData(), "w");
  dup2(fileno(sink), STDOUT_FILENO);
  const int code = run();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::fclose(sink);
  QFile in(file);
  in.open(QIODevice::ReadOnly);
  return {code, QString::fromUtf8(in.readAll())};
}

class ReportPdf : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(ReportPdf, FontMeasuresAsOneFixedPitchOnThePrinter) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(Path("font.pdf"));
  printer.setResolution(1200);
  QPainter painter(&printer);
  painter.setFont(ReportFont());
  const ReportMetrics metrics = MeasureReportFont(painter);
  const QFontMetrics font = painter.fontMetrics();

  EXPECT_EQ(painter.fontInfo().pixelSize(), 128);
  EXPECT_TRUE(painter.fontInfo().bold());
  EXPECT_GE(metrics.lineHeight, 128);
  // The second column stands 60 average widths right: that must be where 60 characters end,
  // give or take the rounding of the width to whole device units.
  ASSERT_GT(metrics.charWidth, 0);
  for (QChar c : {QLatin1Char('W'), QLatin1Char('i'), QLatin1Char(' ')})
    EXPECT_NEAR(font.horizontalAdvance(QString(60, c)), 60 * metrics.charWidth, 60 / 2) << c.toLatin1();
}

TEST_F(ReportPdf, AdvancedModeGivesTwoPagesWithTheirFooters) {
  ASSERT_TRUE(PrintReportToPdf(Path("advanced.pdf"), DisplayMode::Advanced, PrintFakeSection));
  const QStringList pages = PdfPages(Path("advanced.pdf"));
  ASSERT_EQ(pages.size(), 2);
  const QString title = Collapsed(kReportTitle.trimmed());
  EXPECT_TRUE(pages[0].contains(title));
  EXPECT_TRUE(pages[1].contains(title));
  // The second column is drawn on the height of the line it belongs to.
  EXPECT_TRUE(pages[0].contains(QStringLiteral("Left one Right one\n")));
  EXPECT_TRUE(pages[0].contains(QStringLiteral("[Section %1]").arg(static_cast<int>(PageId::Duplicate))));
  EXPECT_TRUE(pages[1].contains(QStringLiteral("[Section %1]").arg(static_cast<int>(PageId::Cadence))));
  EXPECT_TRUE(pages[0].contains(QStringLiteral(" Page 1")));
  EXPECT_FALSE(pages[0].contains(QStringLiteral("Page 2")));
  EXPECT_TRUE(pages[1].contains(QStringLiteral(" Page 2")));
}

// Positions count from the sheet's corner and name the top of a line, not its baseline.
TEST_F(ReportPdf, TextsStandWhereTheLayoutPutsThem) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(Path("measure.pdf"));
  printer.setResolution(1200);
  QPainter painter(&printer);
  painter.setFont(ReportFont());
  const ReportMetrics metrics = MeasureReportFont(painter);
  painter.end();

  ASSERT_TRUE(PrintReportToPdf(Path("layout.pdf"), DisplayMode::Advanced, PrintFakeSection));
  struct Expected {
    int page;
    QString word;
    int x;  // device units, where the word begins
    int y;
  };
  const int lh = metrics.lineHeight;
  const int cw = metrics.charWidth;
  const Expected expected[] = {
      {1, QStringLiteral("M84"), 1800 + cw, 600},  // the title begins with a blank
      {1, QStringLiteral("[General]"), 600, 600 + 3 * lh},
      {1, QStringLiteral("Right"), 600 + 60 * cw, 600 + 4 * lh},
      {2, QStringLiteral("Page"), 3600 + cw, 92 * lh},
  };
  const std::vector<Word> words = PdfWords(Path("layout.pdf"));
  for (const Expected& e : expected) {
    const auto found =
        std::find_if(words.begin(), words.end(), [&](const Word& w) { return w.page == e.page && w.text == e.word; });
    ASSERT_NE(found, words.end()) << e.word.toStdString();
    // Within a tenth of a character: the rounding of the measured width and ascent.
    EXPECT_NEAR(found->left, e.x * kPointsPerUnit, 0.6) << e.word.toStdString();
    EXPECT_NEAR(found->top, e.y * kPointsPerUnit, 0.6) << e.word.toStdString();
  }
}

TEST_F(ReportPdf, BasicModeGivesOnePageWithoutFooter) {
  ASSERT_TRUE(PrintReportToPdf(Path("basic.pdf"), DisplayMode::Basic, PrintFakeSection));
  const QStringList pages = PdfPages(Path("basic.pdf"));
  ASSERT_EQ(pages.size(), 1);
  EXPECT_TRUE(pages[0].contains(QStringLiteral("Left one Right one\n")));
  EXPECT_FALSE(pages[0].contains(QRegularExpression(QStringLiteral("Page \\d"))));
}

TEST_F(ReportPdf, UnwritableOutputIsAFailure) {
  EXPECT_FALSE(PrintReportToPdf(Path("missing/folder/out.pdf"), DisplayMode::Advanced, PrintFakeSection));
}

TEST_F(ReportPdf, ReportCommandPrintsTextOrPdf) {
  // As the program does before any command runs.
  UsePdfReportPrinter(&PrintReportToPdf);
  const QString dat = Path("settings.DAT");
  PagerData data;
  {
    QFile file(dat);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(EncodeDatFile(data, 0));
  }
  const Captured advanced = CaptureStdout([&] { return RunReportCommand({dat}); }, Path("advanced.txt"));
  EXPECT_EQ(advanced.exitCode, 0);
  const QStringList lines = advanced.out.split(QLatin1Char('\n'));
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first().trimmed(), kReportTitle.trimmed());  // no load status before the report
  EXPECT_EQ(lines.count(QStringLiteral("\f")), 1);
  EXPECT_TRUE(advanced.out.contains(QStringLiteral(" Page 2 \n")));

  const Captured basic = CaptureStdout(
      [&] {
        return RunReportCommand({dat, QStringLiteral("--basic")});
      },
      Path("basic.txt"));
  EXPECT_EQ(basic.exitCode, 0);
  EXPECT_FALSE(basic.out.contains(QRegularExpression(QStringLiteral("Page \\d"))));
  EXPECT_FALSE(basic.out.contains(QLatin1Char('\f')));

  const Captured pdf = CaptureStdout(
      [&] {
        return RunReportCommand({dat, QStringLiteral("--pdf"), Path("report.pdf")});
      },
      Path("pdf.txt"));
  EXPECT_EQ(pdf.exitCode, 0);
  EXPECT_EQ(PdfPages(Path("report.pdf")).size(), 2);
}

TEST_F(ReportPdf, ReportCommandRefusesWhatLoadRefuses) {
  {
    QFile shortFile(Path("short.DAT"));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write("M82V121");
  }
  struct Case {
    QStringList arguments;
    int exitCode;
    QString out;
  };
  const Case cases[] = {
      {{Path("absent.DAT")}, 1, QStringLiteral("Open data file error\n")},
      {{Path("short.DAT")}, 1, QStringLiteral("File Loaded error\n")},
      {{}, 2, QString()},
      {{Path("short.DAT"), Path("extra")}, 2, QString()},
  };
  for (const Case& c : cases) {
    const Captured result = CaptureStdout([&] { return RunReportCommand(c.arguments); }, Path("out.txt"));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(result.out, c.out);
  }
}

TEST_F(ReportPdf, PrintDialogOffersAllPagesAndFileAndCancelPrintsNothing) {
  bool sawDialog = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    sawDialog = true;
    EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintPageRange));
    EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintCurrentPage));
    EXPECT_TRUE(dialog->testOption(QAbstractPrintDialog::PrintToFile));
    dialog->reject();
  });
  int sectionsPrinted = 0;
  EXPECT_FALSE(PrintReport(nullptr, DisplayMode::Advanced, [&](PageId, ReportCursor&) { ++sectionsPrinted; }));
  EXPECT_TRUE(sawDialog);
  EXPECT_EQ(sectionsPrinted, 0);
}
