#include "recording/ui/report_painter.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "recording/ui/glyph_text.h"

namespace {

// The report definition, in millimetres.
constexpr double kPrintableHeight = 297.0 - 2 * 10.0;
constexpr double kBandWidth = 190.0;
constexpr double kPageHeaderHeight = 10.58;
constexpr double kColumnHeaderHeight = 10.58;
constexpr double kDetailHeight = 6.61;
constexpr double kPageFooterHeight = 10.58;
constexpr double kTitleTop = 2.12;
constexpr double kLabelTop = 4.23;
constexpr double kFieldTop = 2.12;
constexpr double kFooterLeft = 8.47;
constexpr double kFooterTop = 4.23;
constexpr double kPointSize = 10.0;

enum class ReportFont { Glyph, Arial };

struct Label {
    double left;
    const char* text;
    ReportFont font;
};
constexpr std::array<Label, 6> kColumnLabels{{
    {8.47, "No", ReportFont::Glyph},
    {33.87, "Time", ReportFont::Glyph},
    {64.29, "FUNCTION", ReportFont::Arial},
    {99.48, "Value", ReportFont::Glyph},
    {132.29, "Unit", ReportFont::Glyph},
    {162.98, "Auto|Manu", ReportFont::Glyph},
}};

struct DetailField {
    double left;
    Field field;
    ReportFont font;
};
constexpr std::array<DetailField, 6> kDetailFields{{
    {8.47, Field::No, ReportFont::Arial},
    {33.87, Field::Time, ReportFont::Arial},
    {65.62, Field::DcAc, ReportFont::Arial},
    {99.48, Field::Value, ReportFont::Arial},
    {131.23, Field::Unit, ReportFont::Glyph},
    {162.98, Field::Auto, ReportFont::Glyph},
}};

QFont reportFont(ReportFont which) {
    QFont font(which == ReportFont::Glyph ? QStringLiteral("DejaVu Sans")
                                          : QStringLiteral("Liberation Sans"));
    font.setPointSizeF(kPointSize);
    return font;
}

// Paints in millimetres on a device of any resolution.
class BandPainter {
public:
    BandPainter(QPainter& painter, double dotsPerMmX, double dotsPerMmY)
        : m_painter(painter),
          m_dotsPerMmX(dotsPerMmX),
          m_dotsPerMmY(dotsPerMmY),
          m_glyph(reportFont(ReportFont::Glyph)),
          m_arial(reportFont(ReportFont::Arial)) {}

    void text(double left, double top, const QString& text, ReportFont font,
              Qt::Alignment align = Qt::AlignLeft) {
        m_painter.setFont(font == ReportFont::Glyph ? m_glyph : m_arial);
        // Texts are sized to their content: the rectangle only anchors the top-left corner
        // (or the band's centre line for a centred text).
        const double width = align & Qt::AlignHCenter ? kBandWidth - left : kBandWidth;
        const QRectF box(left * m_dotsPerMmX, top * m_dotsPerMmY, width * m_dotsPerMmX,
                         kDetailHeight * 2 * m_dotsPerMmY);
        m_painter.drawText(box, static_cast<int>(align | Qt::AlignTop | Qt::TextSingleLine), text);
    }

private:
    QPainter& m_painter;
    double m_dotsPerMmX;
    double m_dotsPerMmY;
    QFont m_glyph;
    QFont m_arial;
};

void paintPageBands(BandPainter& bands) {
    bands.text(0, kTitleTop, QStringLiteral("The Data Print Title"), ReportFont::Glyph,
               Qt::AlignHCenter);
    for (const Label& label : kColumnLabels) {
        bands.text(label.left, kPageHeaderHeight + kLabelTop, QString::fromLatin1(label.text),
                   label.font);
    }
    bands.text(kFooterLeft, kPrintableHeight - kPageFooterHeight + kFooterTop,
               QStringLiteral("The Data Print Foot"), ReportFont::Glyph);
}

QString fieldText(const TableStore& table, std::size_t row, const DetailField& field) {
    if (field.field == Field::No) {
        const auto no = table.no(row);
        return no ? QString::number(*no) : QString();
    }
    const std::string_view text = table.text(row, field.field);
    // The symbols the grid shows ("0.L", the ohm and diode signs), whatever font prints them:
    // the glyph characters are no text a reader should see. Time and Auto hold none.
    const bool symbols = field.font == ReportFont::Glyph || field.field == Field::DcAc ||
                         field.field == Field::Value;
    return symbols ? glyphDisplayText(text) : plainText(text);
}

}  // namespace

int ReportPainter::rowsPerPage() {
    const double room =
        kPrintableHeight - kPageHeaderHeight - kColumnHeaderHeight - kPageFooterHeight;
    return static_cast<int>(std::floor(room / kDetailHeight));
}

int ReportPainter::pageCount(std::size_t rows) {
    return static_cast<int>(ReportPages(rows).pageCount());
}

void ReportPainter::setUpPage(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

void ReportPainter::paintPage(const TableStore& table, QPainter& painter, double dotsPerMmX,
                              double dotsPerMmY, const ReportPages& pages, std::size_t page) {
    const ReportPages::RowRange range = pages.rowsOfPage(page);
    if (range.size() == 0 || range.end > table.rowCount()) {
        return;
    }
    painter.setPen(Qt::black);
    BandPainter bands(painter, dotsPerMmX, dotsPerMmY);
    paintPageBands(bands);
    const double firstDetailTop = kPageHeaderHeight + kColumnHeaderHeight;
    for (std::size_t row = range.first; row < range.end; ++row) {
        const double top =
            firstDetailTop + static_cast<double>(row - range.first) * kDetailHeight + kFieldTop;
        for (const DetailField& field : kDetailFields) {
            bands.text(field.left, top, fieldText(table, row, field), field.font);
        }
    }
}

ReportPainter::Result ReportPainter::paint(const TableStore& table, QPagedPaintDevice& device,
                                           std::size_t rows, const ProgressFn& progress,
                                           std::size_t firstPage, std::size_t lastPage) {
    const ReportPages pages(std::min(rows, table.rowCount()));
    firstPage = std::max<std::size_t>(firstPage, 1);
    lastPage = std::min(lastPage, pages.pageCount());
    if (firstPage > lastPage) {
        return Result::Failed;
    }
    QPainter painter;
    if (!painter.begin(&device)) {
        return Result::Failed;
    }
    const double dotsPerMmX = device.logicalDpiX() / 25.4;
    const double dotsPerMmY = device.logicalDpiY() / 25.4;
    // The report is laid out for A4; on a smaller paper the whole page is scaled down to fit
    // the printable area, so every page still holds its 37 rows and its footer.
    const QRectF printable = device.pageLayout().paintRect(QPageLayout::Millimeter);
    const double scale = ReportPages::scaleToFit(printable.width(), printable.height());
    painter.scale(scale, scale);
    const std::size_t total = lastPage - firstPage + 1;
    for (std::size_t page = firstPage; page <= lastPage; ++page) {
        if (page > firstPage && !device.newPage()) {
            painter.end();
            return Result::Failed;
        }
        paintPage(table, painter, dotsPerMmX, dotsPerMmY, pages, page);
        if (progress && !progress(page - firstPage + 1, total)) {
            // A print job is aborted, so that the printer gets no half report; a file device
            // ends here and its caller removes the file.
            auto* printer = dynamic_cast<QPrinter*>(&device);
            if (printer != nullptr) {
                printer->abort();
            }
            painter.end();
            // Printing to a file (the print dialog's PDF printer) leaves no cut-off file.
            if (printer != nullptr && printer->outputFormat() == QPrinter::PdfFormat &&
                !printer->outputFileName().isEmpty()) {
                QFile::remove(printer->outputFileName());
            }
            return Result::Cancelled;
        }
    }
    return painter.end() ? Result::Done : Result::Failed;
}

QString ReportPainter::renderPdf(const TableStore& table, const QString& fileName, std::size_t rows,
                                 const ProgressFn& progress) {
    if (table.empty()) {
        return QStringLiteral("the table has no rows, so there is nothing to print");
    }
    Result result = Result::Failed;
    {
        QPdfWriter writer(fileName);
        if (!writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                              QMarginsF(10, 10, 10, 10),
                                              QPageLayout::Millimeter))) {
            return QStringLiteral("could not set up the A4 page");
        }
        writer.setResolution(600);
        writer.setTitle(QStringLiteral("The Data Print Title"));
        writer.setCreator(QStringLiteral("Halvern Interface Program"));
        result = paint(table, writer, rows, progress);
    }
    if (result == Result::Cancelled) {
        // The writer has closed what it had; a cut-off report is no report.
        QFile::remove(fileName);
        return QStringLiteral("cancelled");
    }
    if (result != Result::Done) {
        // The writer says nothing of why; the system does, when the file cannot be made.
        const QByteArray encoded = QFile::encodeName(fileName);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0) {
            return QStringLiteral("could not write %1: %2")
                .arg(fileName, QString::fromLocal8Bit(std::strerror(errno)));
        }
        ::close(fd);
        return QStringLiteral("could not write %1").arg(fileName);
    }
    return {};
}
