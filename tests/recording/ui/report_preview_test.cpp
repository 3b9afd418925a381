// The report's preview, drawn page by page, its printing on other paper and its cancel.
#include "recording/ui/report_preview.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextItem>
#include <QToolButton>

#include "recording/ui/progress_run.h"
#include "recording/ui/report_painter.h"
#include "tests/recording/ui/report_test_support.h"

namespace {

// A paint device that keeps the texts drawn on it.
class TextCapture : public QPaintDevice {
public:
    QStringList texts;

    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth:
                return 794;
            case PdmHeight:
                return 1123;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
            default:
                return 1;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(QStringList& texts) : m_texts(texts) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            m_texts << item.text();
        }
        Type type() const override { return User; }

    private:
        QStringList& m_texts;
    };
    mutable Engine m_engine{texts};
};

QStringList pageTexts(const TableStore& table, std::size_t page) {
    TextCapture device;
    QPainter painter(&device);
    ReportPainter::paintPage(table, painter, 96 / 25.4, 96 / 25.4, ReportPages(table.rowCount()),
                             page);
    painter.end();
    return device.texts;
}

TEST(ReportPreview, APageIsDrawnFromItsOwnRows) {
    TableStore table;
    appendSampleRows(table, 100);  // No 1..100: pages of 37, 37 and 26 rows
    const QStringList third = pageTexts(table, 3);
    for (const char* band :
         {"The Data Print Title", "FUNCTION", "Auto|Manu", "The Data Print Foot"}) {
        EXPECT_TRUE(third.contains(QString::fromLatin1(band))) << band;
    }
    EXPECT_TRUE(third.contains(QStringLiteral("75")));
    EXPECT_TRUE(third.contains(QStringLiteral("100")));
    EXPECT_FALSE(third.contains(QStringLiteral("74")));
    EXPECT_TRUE(pageTexts(table, 1).contains(QStringLiteral("37")));
    EXPECT_FALSE(pageTexts(table, 1).contains(QStringLiteral("38")));
    EXPECT_TRUE(pageTexts(table, 4).isEmpty());  // no such page
}

TEST(ReportPreview, OpensWithinTheScreensFreeArea) {
    // The offscreen screen (800 x 600) is smaller than the preview's 760 x 900, as a laptop's
    // 1366 x 768 is: the whole window, buttons included, stays on the screen.
    TableStore table;
    appendSampleRows(table, 3);
    QWidget owner;
    ReportPreview preview(table, table.rowCount(), &owner);
    preview.show();
    const QRect free = preview.screen()->availableGeometry();
    ASSERT_LT(free.height(), 900);
    EXPECT_TRUE(free.contains(preview.geometry())) << free.height() << " " << preview.height();
    EXPECT_EQ(preview.width(), std::min(760, free.width() - 16));
}

TEST(ReportPreview, PagesThroughWithTheButtonsAndThePageBox) {
    TableStore table;
    appendSampleRows(table, 10'000);  // 271 pages
    ReportPreview preview(table, table.rowCount());
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    auto* box = preview.findChild<QSpinBox*>(QStringLiteral("pageNumber"));
    auto button = [&preview](const char* name) {
        return preview.findChild<QToolButton*>(QString::fromLatin1(name));
    };
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(preview.findChild<QLabel*>(QStringLiteral("pageCount"))->text(), "of 271");
    EXPECT_EQ(preview.currentPage(), 1u);
    EXPECT_FALSE(button("previousPage")->isEnabled());
    // It opens with the page as wide as the room it has.
    QWidget* pageWidget = preview.findChild<QWidget*>(QStringLiteral("page"));
    const int room = preview.findChild<QScrollArea*>()->viewport()->width();
    EXPECT_GT(pageWidget->width(), room - 40);
    EXPECT_LE(pageWidget->width(), room);

    struct Step {
        const char* button;  // or nullptr: type `typed` into the page box
        int typed;
        std::size_t page;
    };
    const Step steps[] = {
        {"lastPage", 0, 271}, {"previousPage", 0, 270}, {"nextPage", 0, 271},
        {nullptr, 100, 100},  {"firstPage", 0, 1},      {nullptr, 271, 271},
    };
    for (const Step& step : steps) {
        if (step.button != nullptr) {
            button(step.button)->click();
        } else {
            box->selectAll();
            QTest::keyClicks(box, QString::number(step.typed));
            QTest::keyClick(box, Qt::Key_Return);
        }
        EXPECT_EQ(preview.currentPage(), step.page) << (step.button ? step.button : "typed");
        EXPECT_EQ(box->value(), static_cast<int>(step.page));
    }
    EXPECT_FALSE(button("nextPage")->isEnabled());
    EXPECT_FALSE(button("lastPage")->isEnabled());
    preview.showPage(5000);
    EXPECT_EQ(preview.currentPage(), 271u);
    preview.showPage(-1);
    EXPECT_EQ(preview.currentPage(), 1u);

    // The page on screen is painted, at any zoom.
    for (const double zoom : {50.0, 200.0}) {
        preview.setZoom(zoom);
        QWidget* page = preview.findChild<QWidget*>(QStringLiteral("page"));
        ASSERT_NE(page, nullptr);
        const QImage image = page->grab().toImage();
        EXPECT_NEAR(image.width(), 210 / 25.4 * page->logicalDpiX() * zoom / 100, 2);
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2) {
            for (int x = 0; x < image.width(); x += 2) {
                dark += qGray(image.pixel(x, y)) < 128;
            }
        }
        EXPECT_GT(dark, 50) << zoom;
    }
    preview.setFit(ReportPreview::Fit::Page);
    EXPECT_LT(preview.zoomPercent(), 100.0);
}

// Every word of a PDF with its page and bottom edge, and each page's height (points).
struct PdfWords {
    QList<std::pair<int, QString>> words;  // page index, word
    QList<double> bottoms;
    QList<double> pageHeights;
};

PdfWords pdfWords(const QString& file) {
    QProcess run;
    run.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), file, QStringLiteral("-")});
    run.waitForFinished(20000);
    const QString html = QString::fromUtf8(run.readAllStandardOutput());
    PdfWords out;
    static const QRegularExpression tag(
        QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="[\d.]+" )re"
                       R"re(yMin="[\d.]+" xMax="[\d.]+" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(2).isEmpty()) {
            out.pageHeights << m.captured(2).toDouble();
        } else {
            out.words << std::make_pair(static_cast<int>(out.pageHeights.size()) - 1,
                                        m.captured(4));
            out.bottoms << m.captured(3).toDouble();
        }
    }
    return out;
}

TEST(ReportPreview, OtherPaperGetsTheWholeA4PageScaledToFit) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }
    TableStore table;
    appendSampleRows(table, 40);
    QTemporaryDir dir;
    const QPageSize::PageSizeId papers[] = {QPageSize::A4, QPageSize::A5, QPageSize::Letter,
                                            QPageSize::B6};
    for (const auto paper : papers) {
        SCOPED_TRACE(QPageSize::name(paper).toStdString());
        const QString file = dir.filePath(QStringLiteral("r.pdf"));
        {
            QPdfWriter writer(file);
            writer.setResolution(300);
            writer.setPageLayout(QPageLayout(QPageSize(paper), QPageLayout::Portrait,
                                             QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
            ASSERT_EQ(ReportPainter::paint(table, writer), ReportPainter::Result::Done);
        }
        const PdfWords pdf = pdfWords(file);
        ASSERT_EQ(pdf.pageHeights.size(), 2);
        int footers = 0;
        bool row37OnFirst = false;
        for (qsizetype i = 0; i < pdf.words.size(); ++i) {
            const auto& [page, word] = pdf.words[i];
            // Nothing below the bottom margin: 10 mm is 28.3 points.
            EXPECT_LE(pdf.bottoms[i], pdf.pageHeights[page] - 28.0) << word.toStdString();
            footers += word == QStringLiteral("Foot");
            row37OnFirst |= page == 0 && word == QStringLiteral("37");
        }
        EXPECT_EQ(footers, 2);
        EXPECT_TRUE(row37OnFirst);
    }
}

TEST(ReportPreview, ACancelledPdfIsRemovedAndACancelledPrintJobAborted) {
    TableStore table;
    appendSampleRows(table, 400);  // 11 pages
    QTemporaryDir dir;
    std::size_t pagesSeen = 0;
    const auto stopAfterTwo = [&pagesSeen](std::size_t done, std::size_t total) {
        pagesSeen = done;
        EXPECT_EQ(total, 11u);
        return done < 2;
    };
    const QString pdf = dir.filePath(QStringLiteral("cut.pdf"));
    EXPECT_EQ(ReportPainter::renderPdf(table, pdf, table.rowCount(), stopAfterTwo), "cancelled");
    EXPECT_EQ(pagesSeen, 2u);
    EXPECT_FALSE(QFile::exists(pdf));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("job.pdf")));
    ReportPainter::setUpPage(printer);
    EXPECT_EQ(ReportPainter::paint(table, printer, table.rowCount(), stopAfterTwo),
              ReportPainter::Result::Cancelled);
    EXPECT_FALSE(QFile::exists(printer.outputFileName()));

    // A page range and the current page, as the print dialog sets them.
    ReportPreview ranged(table, table.rowCount());
    QPrinter toFile(QPrinter::HighResolution);
    toFile.setOutputFormat(QPrinter::PdfFormat);
    const QString part = dir.filePath(QStringLiteral("part.pdf"));
    toFile.setOutputFileName(part);
    toFile.setPrintRange(QPrinter::PageRange);
    toFile.setFromTo(3, 99);  // pages 3 to 11
    EXPECT_TRUE(ranged.printReport(toFile));
    EXPECT_EQ(pdfPageCount(readFileBytes(part)), 9);
    ranged.showPage(5);
    toFile.setPrintRange(QPrinter::CurrentPage);
    EXPECT_TRUE(ranged.printReport(toFile));
    EXPECT_EQ(pdfPageCount(readFileBytes(part)), 1);

    // Through the preview, uncancelled: every page of the report.
    ReportPreview preview(table, 75);  // the rows present when it opened
    const QString whole = dir.filePath(QStringLiteral("whole.pdf"));
    EXPECT_EQ(preview.writePdf(whole), QString());
    EXPECT_EQ(pdfPageCount(readFileBytes(whole)), 3);
}

TEST(ProgressRun, ShowsAModalDialogWhoseCancelStopsTheTask) {
    QWidget parent;
    ProgressRun quick(&parent, QStringLiteral("Loading"));
    EXPECT_TRUE(quick.step(QStringLiteral("1 rows read"), 1));
    EXPECT_EQ(quick.dialog(), nullptr);  // nothing shows in the first half second

    ProgressRun run(&parent, QStringLiteral("Loading"), std::chrono::milliseconds(0));
    EXPECT_TRUE(run.step(QStringLiteral("10 rows read"), 10));
    ASSERT_NE(run.dialog(), nullptr);
    EXPECT_TRUE(run.dialog()->isVisible());
    EXPECT_EQ(run.dialog()->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(run.dialog()->labelText(), "10 rows read");
    QTest::qWait(60);
    run.dialog()->cancel();
    QTest::qWait(60);
    EXPECT_FALSE(run.step(QStringLiteral("20 rows read"), 20));
    EXPECT_TRUE(run.cancelled());
    EXPECT_FALSE(run.step(QStringLiteral("30 rows read"), 30));
}

}  // namespace
