#include "recording/ui/report_preview.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "recording/ui/message_boxes.h"
#include "recording/ui/progress_run.h"
#include "recording/ui/report_painter.h"

namespace {

constexpr double kPageWidthMm = 210.0;
constexpr double kPageHeightMm = 297.0;
constexpr double kMarginMm = 10.0;

// Zoom choices of the box; 0 stands for the two fits.
struct ZoomChoice {
    const char* text;
    ReportPreview::Fit fit;
    double percent;
};
constexpr ZoomChoice kZoomChoices[] = {
    {"Fit width", ReportPreview::Fit::Width, 0}, {"Fit page", ReportPreview::Fit::Page, 0},
    {"50%", ReportPreview::Fit::None, 50},       {"75%", ReportPreview::Fit::None, 75},
    {"100%", ReportPreview::Fit::None, 100},     {"150%", ReportPreview::Fit::None, 150},
    {"200%", ReportPreview::Fit::None, 200},
};

}  // namespace

// The page on screen: a white A4 sheet at the zoom, the report's page painted on it.
class ReportPageView : public QWidget {
public:
    ReportPageView(const TableStore& table, const ReportPages& pages, QWidget* parent)
        : QWidget(parent), m_table(table), m_pages(pages) {
        setObjectName(QStringLiteral("page"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    double dotsPerMm() const { return logicalDpiX() / 25.4; }

    void setPage(std::size_t page, double zoom) {
        m_page = page;
        m_zoom = zoom;
        const double dpmm = dotsPerMm() * zoom / 100.0;
        setFixedSize(static_cast<int>(std::lround(kPageWidthMm * dpmm)),
                     static_cast<int>(std::lround(kPageHeightMm * dpmm)));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const double scale = m_zoom / 100.0;
        painter.scale(scale, scale);
        painter.translate(kMarginMm * dotsPerMm(), kMarginMm * logicalDpiY() / 25.4);
        ReportPainter::paintPage(m_table, painter, dotsPerMm(), logicalDpiY() / 25.4, m_pages,
                                 m_page);
    }

private:
    const TableStore& m_table;
    const ReportPages& m_pages;
    std::size_t m_page = 1;
    double m_zoom = 100.0;
};

ReportPreview::ReportPreview(const TableStore& table, std::size_t rows, QWidget* parent)
    : QDialog(parent),
      m_table(table),
      m_pages(std::min(rows, table.rowCount())),
      m_printer(QPrinter::HighResolution) {
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    ReportPainter::setUpPage(m_printer);

    auto makeButton = [this](const char* name, const QString& text, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setToolTip(tip);
        button->setAutoRaise(true);
        return button;
    };
    m_first = makeButton("firstPage", QStringLiteral("|<"), QStringLiteral("First page"));
    m_previous = makeButton("previousPage", QStringLiteral("<"), QStringLiteral("Previous page"));
    m_next = makeButton("nextPage", QStringLiteral(">"), QStringLiteral("Next page"));
    m_last = makeButton("lastPage", QStringLiteral(">|"), QStringLiteral("Last page"));
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("pageNumber"));
    m_pageBox->setRange(1, static_cast<int>(std::max<std::size_t>(m_pages.pageCount(), 1)));
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setAccelerated(true);
    m_pageBox->setMinimumWidth(m_pageBox->fontMetrics().horizontalAdvance(
                                   QString::number(m_pageBox->maximum()) + QStringLiteral("00")) +
                               24);
    m_pageCountLabel = new QLabel(QStringLiteral("of %L1").arg(m_pages.pageCount()), this);
    m_pageCountLabel->setObjectName(QStringLiteral("pageCount"));
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("zoom"));
    for (const ZoomChoice& choice : kZoomChoices) {
        m_zoomBox->addItem(QString::fromLatin1(choice.text));
    }
    auto* print = new QPushButton(QStringLiteral("Print…"), this);
    print->setObjectName(QStringLiteral("print"));
    auto* pdf = new QPushButton(QStringLiteral("PDF…"), this);
    pdf->setObjectName(QStringLiteral("pdf"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    // Return in the page box goes to that page; it must not press a button of the dialog.
    for (QPushButton* button : {print, pdf, close}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_first);
    bar->addWidget(m_previous);
    bar->addWidget(m_pageBox);
    bar->addWidget(m_pageCountLabel);
    bar->addWidget(m_next);
    bar->addWidget(m_last);
    bar->addSpacing(16);
    bar->addWidget(m_zoomBox);
    bar->addStretch(1);
    bar->addWidget(print);
    bar->addWidget(pdf);
    bar->addWidget(close);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("pageArea"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new ReportPageView(m_table, m_pages, m_scroll);
    m_scroll->setWidget(m_view);
    // The fits follow the room the page has, which is known only once the dialog is laid out.
    m_scroll->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, [this] { showPage(1); });
    connect(m_previous, &QToolButton::clicked, this,
            [this] { showPage(static_cast<long long>(m_page) - 1); });
    connect(m_next, &QToolButton::clicked, this,
            [this] { showPage(static_cast<long long>(m_page) + 1); });
    connect(m_last, &QToolButton::clicked, this,
            [this] { showPage(static_cast<long long>(m_pages.pageCount())); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { showPage(page); });
    connect(m_zoomBox, &QComboBox::activated, this, [this](int index) {
        const ZoomChoice& choice = kZoomChoices[index];
        if (choice.fit == Fit::None) {
            setZoom(choice.percent);
        } else {
            setFit(choice.fit);
        }
    });
    connect(print, &QPushButton::clicked, this, &ReportPreview::choosePrinter);
    connect(pdf, &QPushButton::clicked, this, &ReportPreview::choosePdf);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    // A whole A4 page wide at its true size where the screen has room; never taller or wider
    // than the screen's free area (a 1366 x 768 screen keeps the buttons in reach).
    QSize size(760, 900);
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect free = screen->availableGeometry();
        // Room for the window's frame, which the size does not include.
        size = size.boundedTo(free.size() - QSize(16, 48));
        resize(size);
        QRect place(QPoint(0, 0), size);
        place.moveCenter(free.center());
        move(place.topLeft());
    } else {
        resize(size);
    }
    applyFit();
    syncControls();
}

ReportPreview::~ReportPreview() = default;

void ReportPreview::showPage(long long page) {
    m_page = m_pages.clampPage(page);
    syncControls();
    m_scroll->verticalScrollBar()->setValue(0);
}

void ReportPreview::setZoom(double percent) {
    m_fit = Fit::None;
    m_zoom = std::clamp(percent, 10.0, 400.0);
    syncControls();
}

void ReportPreview::setFit(Fit fit) {
    m_fit = fit;
    applyFit();
    syncControls();
}

void ReportPreview::applyFit() {
    if (m_fit == Fit::None) {
        return;
    }
    const QSize room = m_scroll->viewport()->size() - QSize(8, 8);
    const double dpmmX = m_view->dotsPerMm();
    const double dpmmY = m_view->logicalDpiY() / 25.4;
    const double byWidth = room.width() / (kPageWidthMm * dpmmX) * 100.0;
    const double byHeight = room.height() / (kPageHeightMm * dpmmY) * 100.0;
    m_zoom = std::clamp(m_fit == Fit::Width ? byWidth : std::min(byWidth, byHeight), 10.0, 400.0);
}

bool ReportPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_fit != Fit::None) {
        applyFit();
        syncControls();
    }
    return QDialog::eventFilter(watched, event);
}

void ReportPreview::syncControls() {
    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setValue(static_cast<int>(m_page));
    const bool atFirst = m_page <= 1;
    const bool atLast = m_page >= m_pages.pageCount();
    m_first->setEnabled(!atFirst);
    m_previous->setEnabled(!atFirst);
    m_next->setEnabled(!atLast);
    m_last->setEnabled(!atLast);
    int index = 0;
    for (const ZoomChoice& choice : kZoomChoices) {
        if (choice.fit == m_fit && (m_fit != Fit::None || choice.percent == m_zoom)) {
            break;
        }
        ++index;
    }
    if (index < m_zoomBox->count()) {
        m_zoomBox->setCurrentIndex(index);
    } else {
        m_zoomBox->setEditText(QStringLiteral("%1%").arg(m_zoom));
    }
    m_view->setPage(m_page, m_zoom);
}

bool ReportPreview::printReport(QPrinter& printer) {
    // The pages chosen in the print dialog: all, a range, or the page on screen.
    std::size_t first = 1;
    std::size_t last = m_pages.pageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = static_cast<std::size_t>(printer.fromPage());
        last = std::min(last, static_cast<std::size_t>(std::max(printer.toPage(), 1)));
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        first = last = m_page;
    }
    ProgressRun run(this, QStringLiteral("Printing"));
    const auto result = ReportPainter::paint(
        m_table, printer, m_pages.rows(),
        [&run](std::size_t done, std::size_t total) {
            return run.step(QStringLiteral("Page %L1 of %L2").arg(done).arg(total),
                            ProgressGate::percent(done, total));
        },
        first, last);
    return result == ReportPainter::Result::Done;
}

QString ReportPreview::writePdf(const QString& fileName) {
    ProgressRun run(this, QStringLiteral("Writing PDF"));
    return ReportPainter::renderPdf(
        m_table, fileName, m_pages.rows(), [&run](std::size_t done, std::size_t total) {
            return run.step(QStringLiteral("Page %L1 of %L2").arg(done).arg(total),
                            ProgressGate::percent(done, total));
        });
}

void ReportPreview::choosePrinter() {
    QPrintDialog dialog(&m_printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
    dialog.setMinMax(1, static_cast<int>(std::min<std::size_t>(m_pages.pageCount(), INT_MAX)));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (!printReport(m_printer) && m_printer.printerState() != QPrinter::Aborted) {
        QMessageBox::warning(this, programBoxTitle(this),
                             QStringLiteral("The report could not be printed."));
    }
}

void ReportPreview::choosePdf() {
    QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save the report as PDF"),
                                                QString(), QStringLiteral("PDF (*.pdf)"));
    if (name.isEmpty()) {
        return;
    }
    if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        name += QStringLiteral(".pdf");
    }
    const QString error = writePdf(name);
    if (error.isEmpty()) {
        emit pdfWritten(QFileInfo(name).absoluteFilePath());
    } else if (error != QStringLiteral("cancelled")) {
        QMessageBox box(QMessageBox::Warning, programBoxTitle(this),
                        QStringLiteral("The report could not be written."), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.setInformativeText(error);
        box.exec();
    }
}

bool previewReport(const TableStore& table, QWidget* parent,
                   const std::function<void(const QString&)>& pdfWritten) {
    if (table.empty()) {
        return false;
    }
    ReportPreview preview(table, table.rowCount(), parent);
    if (pdfWritten) {
        QObject::connect(&preview, &ReportPreview::pdfWritten, &preview, pdfWritten);
    }
    preview.exec();
    return true;
}
