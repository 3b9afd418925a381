#pragma once

#include <QString>
#include <cstddef>
#include <functional>

#include "recording/report_pages.h"
#include "recording/table_store.h"

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

// The printed report QuickRep1 of the measurement table: A4 portrait, 10 mm margins, on every
// page the page header "The Data Print Title", the column header, up to 37 detail rows and the
// page footer "The Data Print Foot". Bands and texts sit where the report definition puts them,
// in millimetres from the printable area's top-left corner. The Unit and Auto fields and the
// labels are in the glyph font's stand-in (glyph characters shown as symbols), the other
// fields in Arial's stand-in; Range and Nval are not printed.
class ReportPainter {
public:
    // Told after every page painted (pages done, pages in all); returning false cancels.
    using ProgressFn = std::function<bool(std::size_t done, std::size_t total)>;
    enum class Result { Done, Failed, Cancelled };

    // Detail rows that fit between the column header and the page footer of one page.
    static int rowsPerPage();
    // Pages of a report of this many rows (0 for an empty table: it is not printed).
    static int pageCount(std::size_t rows);

    // Sets the page of the report: A4 portrait, all margins 10 mm. Never fails.
    static void setUpPage(QPagedPaintDevice& device);

    // Paints page (1-based) of the report alone, from its own rows, with the painter's origin
    // at the printable area's top-left corner and dotsPer the device's dots per millimetre.
    // Paints nothing for a page that does not exist or rows the table no longer has.
    static void paintPage(const TableStore& table, QPainter& painter, double dotsPerMmX,
                          double dotsPerMmY, const ReportPages& pages, std::size_t page);

    // Paints the report of the table's first `rows` rows on the device, page after page, its
    // A4 page scaled down to fit a smaller printable area. Failed without painting when there
    // is no row or the device cannot be painted on (for example an unwritable PDF file).
    // Cancelled when progress asked to stop: a QPrinter's job is then aborted
    // (QPrinter::abort) and its output file, if it prints to one, removed; any other device
    // simply ends after the pages painted so far.
    // Only the pages firstPage..lastPage (1-based, kept within the report) are painted.
    static Result paint(const TableStore& table, QPagedPaintDevice& device,
                        std::size_t rows = static_cast<std::size_t>(-1),
                        const ProgressFn& progress = {}, std::size_t firstPage = 1,
                        std::size_t lastPage = static_cast<std::size_t>(-1));

    // Renders the report into a PDF file. Returns an empty text on success, otherwise what
    // went wrong (empty table, file not writable, "cancelled": the file is then removed).
    static QString renderPdf(const TableStore& table, const QString& fileName,
                             std::size_t rows = static_cast<std::size_t>(-1),
                             const ProgressFn& progress = {});
};

// MajPrintClick: shows the report in a modal preview that draws only the page on screen, from
// which the user pages, zooms, prints (printer choice included) and writes a PDF; returns when
// the preview is closed. An empty table opens no preview (returns false). The report holds
// the rows present when it was opened; readings recorded meanwhile are not in it. pdfWritten,
// when given, hears of every PDF file the preview wrote.
bool previewReport(const TableStore& table, QWidget* parent,
                   const std::function<void(const QString&)>& pdfWritten = {});
