#pragma once

#include <QString>
#include <cstddef>

#include "recording/table_store.h"

class QPagedPaintDevice;
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
    // Detail rows that fit between the column header and the page footer of one page.
    static int rowsPerPage();
    // Pages of a report of this many rows (0 for an empty table: it is not printed).
    static int pageCount(std::size_t rows);

    // Sets the page of the report: A4 portrait, all margins 10 mm. Never fails.
    static void setUpPage(QPagedPaintDevice& device);
    // Paints the report of the table's first `rows` rows (all by default) on the device, whose
    // page must already be set up. Returns false without painting when there is no row to print
    // or the device cannot be painted on (for example an unwritable PDF file).
    static bool paint(const TableStore& table, QPagedPaintDevice& device,
                      std::size_t rows = static_cast<std::size_t>(-1));

    // Renders the report into a PDF file. Returns an empty text on success, otherwise what
    // went wrong (empty table, file not writable).
    static QString renderPdf(const TableStore& table, const QString& fileName);
};

// MajPrintClick: shows the report in a modal print preview, from which the user pages, prints
// and chooses the printer (PDF included); returns when the preview is closed. An empty table
// opens no preview (returns false). The report holds the rows present when it was opened;
// readings recorded while the preview is open are not in it.
bool previewReport(const TableStore& table, QWidget* parent);
