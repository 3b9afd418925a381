#pragma once

#include <QDialog>
#include <QPrinter>
#include <memory>

#include "recording/report_pages.h"
#include "recording/table_store.h"

class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;
class ReportPageView;

// The report's print preview: one page on screen, drawn straight from its own 37 rows, so
// that opening the preview of ten million rows and jumping to its last page cost the same as
// for one page. A page number box with first / previous / next / last, a zoom, "Print…" (the
// system's printer dialog, the printer and the paper chosen there) and "PDF…"; printing and
// writing a PDF show their progress with Cancel.
class ReportPreview : public QDialog {
    Q_OBJECT

public:
    // The report of the table's first `rows` rows (the rows present when it opens); the table
    // must outlive the dialog and keep those rows.
    ReportPreview(const TableStore& table, std::size_t rows, QWidget* parent = nullptr);
    ~ReportPreview() override;

    const ReportPages& pages() const { return m_pages; }
    std::size_t currentPage() const { return m_page; }
    // Shows page (kept within the report).
    void showPage(long long page);
    // Zoom in percent of the page's true size; fitWidth / fitPage follow the window.
    enum class Fit { None, Width, Page };
    void setZoom(double percent);
    void setFit(Fit fit);
    double zoomPercent() const { return m_zoom; }

    QPrinter& printer() { return m_printer; }
    // Prints the report on the printer as set up (all pages, the page range or the current
    // page chosen in its dialog); false when it failed or was cancelled (the job is aborted).
    bool printReport(QPrinter& printer);
    // Writes the report as a PDF file; an empty text on success, otherwise what went wrong.
    QString writePdf(const QString& fileName);

signals:
    // "PDF…" wrote the report to this file (its absolute name).
    void pdfWritten(const QString& fileName);

private:
    void choosePrinter();
    void choosePdf();
    void applyFit();
    void syncControls();

    const TableStore& m_table;
    ReportPages m_pages;
    std::size_t m_page = 1;
    double m_zoom = 100.0;
    Fit m_fit = Fit::Width;
    QPrinter m_printer;

    QToolButton* m_first;
    QToolButton* m_previous;
    QSpinBox* m_pageBox;
    QLabel* m_pageCountLabel;
    QToolButton* m_next;
    QToolButton* m_last;
    QComboBox* m_zoomBox;
    QScrollArea* m_scroll;
    ReportPageView* m_view;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
