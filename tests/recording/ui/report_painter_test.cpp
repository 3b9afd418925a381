#include "recording/ui/report_painter.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "tests/recording/ui/report_test_support.h"

TEST(ReportPainter, FitsThirtySevenRowsOnAPage) {
    EXPECT_EQ(ReportPainter::rowsPerPage(), 37);
    EXPECT_EQ(ReportPainter::pageCount(0), 0);
    EXPECT_EQ(ReportPainter::pageCount(37), 1);
    EXPECT_EQ(ReportPainter::pageCount(38), 2);
    EXPECT_EQ(ReportPainter::pageCount(75), 3);
}

TEST(ReportPainter, RendersTheRowsIntoAPdfOfTheRightPageCount) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        std::size_t rows;
        int pages;
    } cases[] = {{1, 1}, {37, 1}, {38, 2}, {75, 3}};
    for (const auto& c : cases) {
        TableStore table;
        appendSampleRows(table, c.rows);
        const QString file = dir.filePath(QStringLiteral("report%1.pdf").arg(c.rows));
        ASSERT_EQ(ReportPainter::renderPdf(table, file), QString()) << c.rows;
        const std::string pdf = readFileBytes(file);
        ASSERT_EQ(pdf.rfind("%PDF", 0), 0u);
        EXPECT_EQ(pdfPageCount(pdf), c.pages) << c.rows << " rows";
        // Arial's and the glyph font's stand-ins are embedded.
        EXPECT_NE(pdf.find("LiberationSans"), std::string::npos);
        EXPECT_NE(pdf.find("DejaVuSans"), std::string::npos);
    }
}

TEST(ReportPainter, RefusesAnEmptyTableAndAnUnwritableFile) {
    QTemporaryDir dir;
    TableStore table;
    const QString file = dir.filePath(QStringLiteral("empty.pdf"));
    EXPECT_FALSE(ReportPainter::renderPdf(table, file).isEmpty());
    EXPECT_FALSE(QFile::exists(file));

    appendSampleRows(table, 3);
    EXPECT_FALSE(ReportPainter::renderPdf(table, dir.filePath(QStringLiteral("no/such/dir/r.pdf")))
                     .isEmpty());
}

TEST(ReportPainter, PrintsTheBandsOnEveryPageAndTheSymbolsTheGridShows) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    QTemporaryDir dir;
    TableStore table;
    appendSampleRows(table, 37);
    RowData ohms;
    ohms.no = 38;
    ohms.texts = {"12:04:32", ")", "0.@", "K *", "4k *", "Manu"};
    table.append(ohms);
    const QString file = dir.filePath(QStringLiteral("r.pdf"));
    ASSERT_EQ(ReportPainter::renderPdf(table, file), QString());

    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(10000));
    const QStringList pages = QString::fromUtf8(pdftotext.readAllStandardOutput())
                                  .split(QChar(u'\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 2);
    for (const QString& page : pages) {
        EXPECT_TRUE(page.contains(QStringLiteral("The Data Print Title")));
        EXPECT_TRUE(page.contains(QStringLiteral("FUNCTION")));
        EXPECT_TRUE(page.contains(QStringLiteral("Auto|Manu")));
        EXPECT_TRUE(page.contains(QStringLiteral("The Data Print Foot")));
        EXPECT_FALSE(page.contains(QStringLiteral("4 V")));  // Range is not printed
    }
    // The second page holds the one row left over, with the grid's symbols for the diode, the
    // overload's L and the ohm sign (pdftotext joins "K" and the ohm sign); the file keeps the
    // characters as recorded.
    const QString last = pages[1].simplified();
    EXPECT_TRUE(last.contains(QString::fromUtf16(u"38 12:04:32 \u25B6| 0.L K\u03A9 Manu")))
        << last.toStdString();
    EXPECT_FALSE(last.contains(QStringLiteral("0.@")));
    EXPECT_EQ(table.text(37, Field::Value), "0.@");
    EXPECT_FALSE(last.contains(QStringLiteral("37 12:04:31")));
}
