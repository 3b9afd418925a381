#include "display/ui/trend_chart.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <new>

#include "display/chart_page_size.h"
#include "recording/recorder.h"
#include "recording/table_store.h"
#include "recording/ui/digit_filter.h"
#include "recording/ui/glyph_text.h"

namespace {

// The stored ranges the chart shows until start-up sets its own.
constexpr double kStoredValueRange = 41000;
// Points read for a full drawing at most per pixel column of the plot (the lowest and the
// highest of each column keep every peak of a dense span visible).
constexpr int kPointsPerColumn = 2;
// The narrowest span a zoom shows, in readings.
constexpr double kMinZoomWidth = 4;
// One notch of the wheel, and one press of "+" or "-", zooms by this factor.
constexpr double kZoomStep = 0.8;
// A press moves this far before it becomes a drag (a pan) instead of a click.
constexpr int kDragDistance = 4;
// How near the mouse must be to a point, in pixels, to hover it.
constexpr int kHoverReach = 10;

// Places inside the chart: the band of controls on top, the value labels on the left, the
// row-number labels and the overview strip at the bottom.
constexpr int kBandHeight = 32;
constexpr int kLeftLabels = 40;
constexpr int kRightMargin = 10;
constexpr int kBottomLabels = 16;
constexpr int kStripHeight = 22;
constexpr int kStripGap = 4;
constexpr int kTick = 3;

const QColor kBackground(240, 240, 240);
const QColor kFillColour(255, 255, 128);
const QColor kPointColour(0, 0, 255);
const QColor kAxisColour(0, 64, 128);
const QColor kGridColour(224, 224, 224);
const QColor kMinorGridColour(242, 242, 242);
const QColor kLabelColour(64, 64, 64);
const QColor kEnvelopeColour(0, 128, 255);
const QColor kShownSpanColour(0, 0, 255, 40);

QFont labelFont() {
    return arialStandInFont(10);
}

// One-pixel axis-parallel lines as filled rectangles: the same pixels as a stroked line, drawn
// at a fraction of the cost (the grid, the ticks and the strip's columns are all such lines).
void horizontalLine(QPainter& painter, double y, double left, double right, const QColor& colour) {
    const int x = static_cast<int>(std::floor(left));
    painter.fillRect(QRect(x, static_cast<int>(std::floor(y)),
                           std::max(1, static_cast<int>(std::floor(right)) - x + 1), 1),
                     colour);
}

// A segment of the trace as vertical runs, one per pixel column it crosses: for the short
// segment a new reading adds, a few solid rectangles instead of a stroke.
void segmentColumns(QPainter& painter, QPointF from, QPointF to, const QColor& colour);

void verticalLine(QPainter& painter, double x, double top, double bottom, const QColor& colour) {
    const int y = static_cast<int>(std::floor(std::min(top, bottom)));
    const int end = static_cast<int>(std::floor(std::max(top, bottom)));
    painter.fillRect(QRect(static_cast<int>(std::floor(x)), y, 1, std::max(1, end - y + 1)),
                     colour);
}

enum class Glyph { First, Previous, Next, Last, New, Save, Enlarge, Restore };

QIcon drawIcon(Glyph glyph) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0, 0, 128);
    p.setPen(QPen(ink, 1));
    p.setBrush(ink);
    auto triangle = [&p](bool left, double x) {
        QPainterPath path;
        if (left) {
            path.moveTo(x + 6, 3);
            path.lineTo(x, 8);
            path.lineTo(x + 6, 13);
        } else {
            path.moveTo(x, 3);
            path.lineTo(x + 6, 8);
            path.lineTo(x, 13);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (glyph) {
        case Glyph::First:
            p.drawRect(QRectF(3, 3, 1.5, 10));
            triangle(true, 6);
            break;
        case Glyph::Previous:
            triangle(true, 5);
            break;
        case Glyph::Next:
            triangle(false, 5);
            break;
        case Glyph::Last:
            triangle(false, 4);
            p.drawRect(QRectF(11.5, 3, 1.5, 10));
            break;
        case Glyph::New:
            p.setBrush(Qt::white);
            p.drawPolygon(QPolygonF({{3.5, 1.5}, {10, 1.5}, {13, 4.5}, {13, 14.5}, {3.5, 14.5}}));
            break;
        case Glyph::Save:
            p.drawRoundedRect(QRectF(2, 2, 12, 12), 1, 1);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 2.5, 7, 4.5));
            p.drawRect(QRectF(5, 10, 6, 4));
            break;
        case Glyph::Enlarge:
        case Glyph::Restore:
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
            p.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
            p.setPen(QPen(ink, 1.3));
            p.drawLine(QPointF(3.8, 6), QPointF(8.2, 6));
            if (glyph == Glyph::Enlarge) {
                p.drawLine(QPointF(6, 3.8), QPointF(6, 8.2));
            }
            break;
    }
    return QIcon(pixmap);
}

void segmentColumns(QPainter& painter, QPointF from, QPointF to, const QColor& colour) {
    const double width = to.x() - from.x();
    if (!(width > 0)) {
        verticalLine(painter, from.x(), from.y(), to.y(), colour);
        return;
    }
    const auto yAt = [&](double x) {
        return from.y() + (x - from.x()) * (to.y() - from.y()) / width;
    };
    const int first = static_cast<int>(std::floor(from.x()));
    const int last = static_cast<int>(std::floor(to.x()));
    for (int c = first; c <= last; ++c) {
        const double a = yAt(std::max<double>(c, from.x()));
        const double b = yAt(std::min<double>(c + 1, to.x()));
        const int top = static_cast<int>(std::lround(std::min(a, b)));
        const int bottom = static_cast<int>(std::lround(std::max(a, b)));
        painter.fillRect(QRect(c, top, 1, bottom - top + 1), colour);
    }
}

}  // namespace

// Everything one drawing of the chart needs, so the live picture, the saved bitmap and the SVG
// come from the same code.
struct TrendChart::Scene {
    QSize size;
    QRect plot;
    QRect strip;
    ChartSpan x;
    ChartSpan y;
    bool fill = true;
    bool white = false;  // a saved picture: white everywhere
    QString pageText;    // a saved picture: the page number in the band
    const std::vector<ChartPoint>* points = nullptr;
    const ChartOverview* overview = nullptr;
    ChartSpan overviewValues;

    double px(double v) const { return plot.left() + (v - x.low) * plot.width() / x.width(); }
    double py(double v) const {
        return plot.top() + plot.height() - (v - y.low) * plot.height() / y.width();
    }
    double stripY(double v) const {
        const double h = strip.height() - 2;
        const double share = (v - overviewValues.low) / overviewValues.width();
        return strip.top() + 1 + h - std::clamp(share, 0.0, 1.0) * (h - 1);
    }
};

QString ChartPrompts::pictureFileName(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Bitmaps (*.bmp)"),
                           QStringLiteral("PNG pictures (*.png)"),
                           QStringLiteral("SVG drawings (*.svg)")});
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setFileMode(QFileDialog::AnyFile);  // the overwrite question is on by default
    // the chosen filter's extension follows the filter (default suffix of the filter chosen)
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const qsizetype star = f.indexOf(QStringLiteral("*."));
        if (star >= 0) {
            dialog.setDefaultSuffix(f.mid(star + 2, f.size() - star - 3));
        }
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void ChartPrompts::message(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                           QMessageBox::StandardButton button) {
    // The program's name, which the window's title carries.
    QMessageBox box(icon, parent != nullptr ? parent->window()->windowTitle() : QString(), text,
                    button, parent);
    box.exec();
}

TrendChart::TrendChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Chtshow"));
    setAttribute(Qt::WA_OpaquePaintEvent);  // the canvas covers every pixel
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setFont(labelFont());
    resize(373, 353);

    buildControls();

    m_timer2.setInterval(1000);
    m_timer2.setSingleShot(true);
    connect(&m_timer2, &QTimer::timeout, this, &TrendChart::Timer2Timer);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &TrendChart::refreshSeries);

    m_control.Create(this, kStartPageSize);
    layoutAreas();
    refreshSeries();
}

TrendChart::~TrendChart() = default;

QToolButton* TrendChart::addButton(const QString& objectName, const QString& hint, int left,
                                   int top, int width, int height) {
    auto* button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setToolTip(hint);
    button->setGeometry(left, top, width, height);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TrendChart::buildControls() {
    m_btFill = new QCheckBox(QStringLiteral("Fill"), this);
    m_btFill->setObjectName(QStringLiteral("BtFill"));
    m_btFill->setToolTip(QStringLiteral("Graphic Fill"));
    m_btFill->setChecked(true);
    m_btFill->setGeometry(5, 8, 42, 17);
    m_btFill->setFocusPolicy(Qt::NoFocus);
    connect(m_btFill, &QCheckBox::clicked, this, &TrendChart::btFillClick);

    m_maxrecord = new QLineEdit(QStringLiteral("100"), this);
    m_maxrecord->setObjectName(QStringLiteral("Maxrecord"));
    m_maxrecord->setGeometry(48, 3, 41, 21);
    // The numeric edits' digit filter, its warning through the chart's prompts.
    installDigitFilter(m_maxrecord, [this](QWidget*) {
        m_prompts->message(this, QMessageBox::Warning,
                           QString::fromUtf8(kDigitOnlyMessage.data(),
                                             static_cast<qsizetype>(kDigitOnlyMessage.size())),
                           QMessageBox::Cancel);
    });
    connect(m_maxrecord, &QLineEdit::textChanged, this, &TrendChart::MaxrecordExit);

    m_btNew = addButton(QStringLiteral("BtNew"), QStringLiteral("New"), 91, 3, 23, 22);
    m_btNew->setIcon(drawIcon(Glyph::New));
    connect(m_btNew, &QToolButton::clicked, this, &TrendChart::newRequested);
    m_btSave = addButton(QStringLiteral("BtSave"), QStringLiteral("Save"), 125, 3, 23, 22);
    m_btSave->setIcon(drawIcon(Glyph::Save));
    connect(m_btSave, &QToolButton::clicked, this, &TrendChart::BtSaveClick);
    m_btFirst = addButton(QStringLiteral("BtFirst"), QStringLiteral("First"), 163, 3, 23, 22);
    m_btFirst->setIcon(drawIcon(Glyph::First));
    connect(m_btFirst, &QToolButton::clicked, this, &TrendChart::BtFirstClick);
    m_btPrevious =
        addButton(QStringLiteral("BTPrevious"), QStringLiteral("Previous"), 187, 3, 23, 22);
    m_btPrevious->setIcon(drawIcon(Glyph::Previous));
    connect(m_btPrevious, &QToolButton::clicked, this, &TrendChart::BTPreviousClick);
    m_bt10 = addButton(QStringLiteral("Bt10"), QStringLiteral("Page No."), 211, 3, 25, 21);
    m_bt10->setText(QStringLiteral("1"));
    QPalette blue = m_bt10->palette();
    blue.setColor(QPalette::ButtonText, QColor(0, 0, 255));
    m_bt10->setPalette(blue);
    m_btNext = addButton(QStringLiteral("BtNext"), QStringLiteral("Next"), 235, 3, 23, 22);
    m_btNext->setIcon(drawIcon(Glyph::Next));
    connect(m_btNext, &QToolButton::clicked, this, &TrendChart::BtNextClick);
    m_btLast = addButton(QStringLiteral("BTlast"), QStringLiteral("last"), 259, 3, 23, 22);
    m_btLast->setIcon(drawIcon(Glyph::Last));
    connect(m_btLast, &QToolButton::clicked, this, &TrendChart::BTlastClick);

    m_tbFd = addButton(QStringLiteral("TbFd"), QStringLiteral("Graphic Enlarge"), 288, 3, 25, 25);
    m_tbFd->setIcon(drawIcon(Glyph::Enlarge));
    m_tbFd->setAutoRaise(true);
    connect(m_tbFd, &QToolButton::clicked, this, &TrendChart::TbFdClick);
    m_tbSx = addButton(QStringLiteral("TbSx"), QStringLiteral("Graphic Restore"), 288, 3, 25, 25);
    m_tbSx->setIcon(drawIcon(Glyph::Restore));
    m_tbSx->setAutoRaise(true);
    m_tbSx->hide();
    connect(m_tbSx, &QToolButton::clicked, this, &TrendChart::TbFdClick);

    // Beyond the pages: back to the page after a zoom, and the value axis fitted to the
    // readings shown instead of the fixed +- full scale.
    m_btFit = addButton(QStringLiteral("BtFit"),
                        QStringLiteral("Fit: back to the page (wheel or +/- zoom, drag or "
                                       "arrow keys pan)"),
                        316, 3, 24, 22);
    m_btFit->setText(QStringLiteral("Fit"));
    connect(m_btFit, &QToolButton::clicked, this, &TrendChart::fit);
    m_btAutoScale =
        addButton(QStringLiteral("BtAutoScale"),
                  QStringLiteral("Scale the value axis to the readings shown"), 342, 3, 28, 22);
    m_btAutoScale->setText(QStringLiteral("Auto"));
    m_btAutoScale->setCheckable(true);
    connect(m_btAutoScale, &QToolButton::toggled, this, [this] {
        m_canvasValid = false;
        refreshSeries();
    });

    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("ChartReadout"));
    m_readout->setForegroundRole(QPalette::ToolTipText);
    m_readout->setBackgroundRole(QPalette::ToolTipBase);
    m_readout->setAutoFillBackground(true);
    m_readout->setFrameShape(QFrame::Box);
    m_readout->setMargin(2);
    m_readout->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_readout->hide();
}

void TrendChart::setPrompts(ChartPrompts* prompts) {
    m_prompts = prompts != nullptr ? prompts : &m_defaultPrompts;
}

void TrendChart::setEnlargeTargets(QWidget* lcdPanel, QWidget* functionBoard) {
    m_lcdPanel = lcdPanel;
    m_functionBoard = functionBoard;
}

void TrendChart::setRowTable(const TableStore* table) {
    m_table = table;
    m_rows.clear();
}

void TrendChart::fillGraphicMenu(QMenu* menu) {
    if (menu == nullptr) {
        return;
    }
    menu->addAction(QStringLiteral("First"), this, &TrendChart::BtFirstClick);
    menu->addAction(QStringLiteral("Previous"), this, &TrendChart::BTPreviousClick);
    menu->addAction(QStringLiteral("Next"), this, &TrendChart::BtNextClick);
    menu->addAction(QStringLiteral("Last"), this, &TrendChart::BTlastClick);
    menu->addAction(QStringLiteral("Save"), this, &TrendChart::BtSaveClick);
    QAction* fill = menu->addAction(QStringLiteral("Fill"), this, &TrendChart::FillClick);
    fill->setObjectName(QStringLiteral("Fill"));
    fill->setCheckable(true);
    fill->setChecked(m_btFill->isChecked());
    // the check mark follows BtFill however it changes
    connect(m_btFill, &QCheckBox::toggled, fill, &QAction::setChecked);
    menu->addAction(QStringLiteral("New"));
}

void TrendChart::chartFeed(int y) {
    try {
        const int page = m_control.AddValue(y);
        m_overview.append(static_cast<float>(y));
        if (m_table != nullptr && !m_table->empty()) {
            // the recording step has just appended this reading's row
            m_rows.add(m_control.PointCount() - 1, m_table->rowCount() - 1);
        }
        showPage(page);
    } catch (const std::bad_alloc&) {
        // out of memory: this point is not plotted; the recording and the display carry on
    }
}

void TrendChart::clearChart() {
    m_overview.clear();
    m_rows.clear();
    m_zoom.reset();
    m_selected.reset();
    setHover(std::nullopt, {});
    showPage(m_control.Clear());
}

void TrendChart::showPage(int page) {
    m_bt10->setText(QString::number(page));
}

void TrendChart::pageMoved(int page) {
    // a page button shows the page itself, not a zoom left from before
    m_zoom.reset();
    showPage(page);
    scheduleRefresh();
}

void TrendChart::BtFirstClick() {
    pageMoved(m_control.FirstPage());
}

void TrendChart::BTPreviousClick() {
    pageMoved(m_control.PreviousPage());
}

void TrendChart::BtNextClick() {
    pageMoved(m_control.NextPage());
}

void TrendChart::BTlastClick() {
    pageMoved(m_control.LastPage());
}

void TrendChart::btFillClick() {
    m_control.SetFillVisible(m_btFill->isChecked());
}

void TrendChart::FillClick() {
    m_btFill->toggle();
    btFillClick();
}

void TrendChart::MaxrecordExit() {
    const PageSizeEntry entry = readPageSizeEntry(m_maxrecord->text().toStdString());
    if (entry.kind == PageSizeEntry::Kind::Empty) {
        // an emptied edit is a number being retyped: nothing to apply, nothing to report
        m_timer2.stop();
        return;
    }
    if (entry.kind == PageSizeEntry::Kind::NotAWholeNumber) {
        // stop a pending apply too, or it would report the same text again a second later
        m_timer2.stop();
        m_prompts->message(this, QMessageBox::Critical, QString::fromStdString(entry.message),
                           QMessageBox::Ok);
        return;
    }
    m_timer2.stop();
    m_timer2.start();
}

void TrendChart::Timer2Timer() {
    m_timer2.stop();
    const PageSizeEntry entry = readPageSizeEntry(m_maxrecord->text().toStdString());
    switch (entry.kind) {
        case PageSizeEntry::Kind::Empty:
            return;
        case PageSizeEntry::Kind::NotAWholeNumber:
            m_prompts->message(this, QMessageBox::Critical, QString::fromStdString(entry.message),
                               QMessageBox::Ok);
            return;
        case PageSizeEntry::Kind::BelowOne: {
            m_prompts->message(this, QMessageBox::Warning, QString::fromStdString(entry.message),
                               QMessageBox::Ok);
            // the edit shows the page size that stays in force
            const QSignalBlocker quiet(m_maxrecord);
            m_maxrecord->setText(QString::number(m_control.PageSize()));
            return;
        }
        case PageSizeEntry::Kind::Valid:
            m_zoom.reset();
            m_control.SetPageSize(entry.pageSize);
            return;
    }
}

void TrendChart::TbFdClick() {
    if (!m_enlarged) {
        if (m_lcdPanel) {
            m_lcdPanel->hide();
        }
        m_tbFd->hide();
        m_tbSx->show();
        m_normalGeometry = geometry();
        // the whole client area below the top bar, 2 px from the sides and the bottom: nothing
        // of the table beneath shows under the enlarged chart
        const QSize area = parentWidget() != nullptr ? parentWidget()->size() : size();
        setGeometry(2, 28, std::max(area.width() - 4, 1), std::max(area.height() - 30, 1));
        raise();
        if (m_functionBoard) {
            m_functionBoard->hide();
        }
        m_enlarged = true;
    } else {
        if (m_lcdPanel) {
            m_lcdPanel->show();
        }
        m_tbFd->show();
        m_tbSx->hide();
        setGeometry(m_normalGeometry);
        if (m_functionBoard) {
            m_functionBoard->show();
        }
        m_enlarged = false;
    }
}

void TrendChart::BtSaveClick() {
    const QString fileName = m_prompts->pictureFileName(this);
    if (fileName.isEmpty()) {
        return;
    }
    QString error;
    if (writePicture(fileName, &error)) {
        m_prompts->message(this, QMessageBox::Information,
                           QStringLiteral("Graphic has saved on ") + fileName, QMessageBox::Ok);
    } else {
        m_prompts->message(this, QMessageBox::Critical, error, QMessageBox::Ok);
    }
}

TrendChart::Scene TrendChart::pictureScene() {
    refreshSeries();
    Scene scene;
    scene.size = size();
    scene.plot = m_plot;
    scene.strip = m_strip;
    scene.x = m_xSpan;
    scene.y = m_ySpan;
    scene.fill = m_control.FillVisible();
    scene.white = true;
    scene.pageText = QStringLiteral("Page %1").arg(m_bt10->text());
    m_points.clear();
    collectShown(m_xSpan, m_points);
    scene.points = &m_points;
    scene.overview = &m_overview;
    scene.overviewValues = {m_control.ValueMin(), m_control.ValueMax()};
    return scene;
}

QImage TrendChart::renderPicture() {
    const Scene scene = pictureScene();
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintScene(painter, scene);
    return image;
}

bool TrendChart::writePicture(const QString& fileName, QString* error) {
    const auto fail = [&](const QString& what, const QString& reason) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 \"%2\". %3").arg(what, fileName, reason);
        }
        return false;
    };
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return fail(QStringLiteral("Cannot create file"), file.errorString());
    }
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("svg")) {
        const Scene scene = pictureScene();
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size());
        svg.setViewBox(QRect(QPoint(0, 0), size()));
        svg.setTitle(QStringLiteral("Trend chart"));
        QPainter painter;
        if (!painter.begin(&svg)) {
            file.cancelWriting();
            return fail(QStringLiteral("Cannot write file"), file.errorString());
        }
        paintScene(painter, scene);
        painter.end();
    } else {
        QImageWriter writer(&file, suffix == QLatin1String("png") ? "png" : "bmp");
        if (!writer.write(renderPicture())) {
            file.cancelWriting();
            return fail(QStringLiteral("Cannot write file"), writer.errorString());
        }
    }
    if (!file.commit()) {
        return fail(QStringLiteral("Cannot write file"), file.errorString());
    }
    return true;
}

void TrendChart::chartChanged(Change change) {
    switch (change) {
        case Change::Fill:
        case Change::ValueRange:
            m_canvasValid = false;
            scheduleRefresh();
            break;
        case Change::Points:
        case Change::Window:
            scheduleRefresh();
            break;
    }
}

void TrendChart::scheduleRefresh() {
    if (!m_refreshTimer.isActive()) {
        m_refreshTimer.start();
    }
}

// --- places and spans ---------------------------------------------------------------------------

void TrendChart::layoutAreas() {
    const int bottom = height() - kStripGap - kStripHeight;
    m_strip =
        QRect(kLeftLabels, bottom, std::max(width() - kLeftLabels - kRightMargin, 8), kStripHeight);
    m_plot = QRect(kLeftLabels, kBandHeight, m_strip.width(),
                   std::max(bottom - kStripGap - kBottomLabels - kBandHeight, 8));
    m_canvasValid = false;
}

void TrendChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutAreas();
    setHover(std::nullopt, {});
    refreshSeries();
}

ChartSpan TrendChart::xLimits() const {
    const auto newest = static_cast<double>(m_control.PointCount() - 1);
    const ChartSpan page = pageSpan(m_control.window());
    return {0, std::max({newest, page.high, kMinZoomWidth})};
}

ChartSpan TrendChart::targetXSpan() const {
    return m_zoom ? *m_zoom : pageSpan(m_control.window());
}

void TrendChart::collectShown(ChartSpan span, std::vector<ChartPoint>& out) const {
    const ChartPointStore& store = m_control.points();
    if (store.empty()) {
        return;
    }
    // the points inside the span and the nearest beyond each end, so the trace runs to the edges
    const auto first = static_cast<std::int64_t>(std::max(0.0, std::floor(span.low) - 1));
    const auto last = static_cast<std::int64_t>(std::max(0.0, std::ceil(span.high) + 1));
    const auto budget = static_cast<std::size_t>(std::max(m_plot.width(), 1) * kPointsPerColumn);
    store.collect(static_cast<std::size_t>(first), static_cast<std::size_t>(last), budget, out);
}

QPointF TrendChart::pointPosition(double x, double y) const {
    Scene scene;
    scene.plot = m_plot;
    scene.x = m_xSpan;
    scene.y = m_ySpan;
    return {scene.px(x), scene.py(y)};
}

// --- drawing -------------------------------------------------------------------------------------

void TrendChart::refreshSeries() {
    m_refreshTimer.stop();
    const ChartSpan target = targetXSpan();
    const bool autoScale = m_btAutoScale->isChecked();
    const ChartSpan fixedValues = m_control.ValueMin() < m_control.ValueMax()
                                      ? ChartSpan{m_control.ValueMin(), m_control.ValueMax()}
                                      : ChartSpan{-kStoredValueRange, kStoredValueRange};
    const std::int64_t newest = m_control.PointCount() - 1;
    if (!m_canvasValid || !(target == m_xSpan) || newest < m_drawnTo ||
        m_canvasFill != m_control.FillVisible() || (!autoScale && !(fixedValues == m_ySpan)) ||
        m_canvas.size() != size() * devicePixelRatioF() ||
        m_overview.capacity() != m_overviewCapacity || m_overview.count() < m_overviewDrawn) {
        redrawAll();
        return;
    }
    if (autoScale && newPointsLeaveValueSpan()) {
        redrawAll();
        return;
    }
    if (newest == m_drawnTo && m_overview.count() == m_overviewDrawn) {
        return;
    }
    QRegion dirty;
    QPainter painter(&m_canvas);
    drawNewPoints(painter, dirty);
    const int columns = m_strip.width() - 2;
    int shownFirst = 0;
    int shownLast = -1;
    for (std::size_t i = m_overviewDrawn; i < m_overview.count(); ++i) {
        int first = 0;
        int last = -1;
        m_overview.columnsOf(i, columns, first, last);
        if (first > shownLast + 1 || last < shownFirst - 1 || shownFirst > shownLast) {
            drawOverviewColumns(painter, shownFirst, shownLast, dirty);
            shownFirst = first;
            shownLast = last;
        } else {
            shownFirst = std::min(shownFirst, first);
            shownLast = std::max(shownLast, last);
        }
    }
    drawOverviewColumns(painter, shownFirst, shownLast, dirty);
    painter.end();
    m_overviewDrawn = m_overview.count();
    if (!dirty.isEmpty()) {
        update(dirty);
    }
}

bool TrendChart::newPointsLeaveValueSpan() const {
    const std::int64_t newest = m_control.PointCount() - 1;
    for (std::int64_t x = std::max<std::int64_t>(m_drawnTo + 1, 0); x <= newest; ++x) {
        if (x < m_xSpan.low - 1 || x > m_xSpan.high + 1) {
            continue;
        }
        const float y = m_control.points().at(static_cast<std::size_t>(x));
        if (y < m_ySpan.low || y > m_ySpan.high) {
            return true;
        }
    }
    return false;
}

void TrendChart::redrawAll() {
    if (m_hover && !(targetXSpan() == m_xSpan)) {
        setHover(std::nullopt, {});  // the point under the mouse has moved away
    }
    m_xSpan = targetXSpan();
    m_points.clear();
    collectShown(m_xSpan, m_points);
    m_drawnPoints = m_points.size();
    if (m_btAutoScale->isChecked()) {
        double low = 0;
        double high = 0;
        bool any = false;
        for (const ChartPoint& p : m_points) {
            if (p.x < m_xSpan.low || p.x > m_xSpan.high) {
                continue;
            }
            low = any ? std::min(low, p.y) : p.y;
            high = any ? std::max(high, p.y) : p.y;
            any = true;
        }
        m_ySpan = autoValueSpan(low, high);
    } else if (m_control.ValueMin() < m_control.ValueMax()) {
        m_ySpan = {m_control.ValueMin(), m_control.ValueMax()};
    } else {
        m_ySpan = {-kStoredValueRange, kStoredValueRange};
    }
    const qreal dpr = devicePixelRatioF();
    if (m_canvas.size() != size() * dpr) {
        m_canvas = QPixmap(size() * dpr);
        m_canvas.setDevicePixelRatio(dpr);
    }
    Scene scene;
    scene.size = size();
    scene.plot = m_plot;
    scene.strip = m_strip;
    scene.x = m_xSpan;
    scene.y = m_ySpan;
    scene.fill = m_control.FillVisible();
    scene.points = &m_points;
    scene.overview = &m_overview;
    scene.overviewValues = {m_control.ValueMin(), m_control.ValueMax()};
    QPainter painter(&m_canvas);
    paintScene(painter, scene);
    painter.end();
    m_canvasValid = true;
    m_canvasFill = scene.fill;
    m_drawnTo = m_control.PointCount() - 1;
    m_overviewDrawn = m_overview.count();
    m_overviewCapacity = m_overview.capacity();
    update();
}

void TrendChart::drawNewPoints(QPainter& painter, QRegion& dirty) {
    const std::int64_t newest = m_control.PointCount() - 1;
    if (newest <= m_drawnTo) {
        return;
    }
    const ChartPointStore& store = m_control.points();
    // only the segments that reach into the span shown
    const auto from = std::max<std::int64_t>(
        {m_drawnTo + 1, static_cast<std::int64_t>(std::floor(m_xSpan.low)), 1});
    const auto to =
        std::min<std::int64_t>(newest, static_cast<std::int64_t>(std::ceil(m_xSpan.high)) + 1);
    m_drawnTo = newest;
    if (from > to) {
        return;
    }
    Scene scene;
    scene.plot = m_plot;
    scene.x = m_xSpan;
    scene.y = m_ySpan;
    const auto at = [&](std::int64_t x) {
        return QPointF(scene.px(static_cast<double>(x)),
                       scene.py(store.at(static_cast<std::size_t>(x))));
    };
    // a clip only where a segment leaves the plot (the usual new point lies inside it)
    const QRectF inside(m_plot);
    bool clip = false;
    for (std::int64_t x = std::max<std::int64_t>(from - 2, 0); x <= to && !clip; ++x) {
        clip = !inside.contains(at(x));
    }
    if (clip) {
        painter.setClipRect(m_plot);
    }
    // each new segment: its strip of fill, then the line over it (the previous segment's line
    // again too, where the new fill may have touched its end)
    QPointF previous = at(from - 1);
    double left = previous.x();
    double right = previous.x();
    if (m_control.FillVisible()) {
        // the strip under a segment, one pixel column at a time: solid rectangles, far cheaper
        // to draw than a polygon of the same shape
        const int plotBottom = m_plot.top() + m_plot.height();
        for (std::int64_t x = from; x <= to; ++x) {
            const QPointF p = at(x);
            const double width = p.x() - previous.x();
            const int firstColumn = static_cast<int>(std::floor(previous.x()));
            const int lastColumn = static_cast<int>(std::ceil(p.x())) - 1;
            for (int c = std::max(firstColumn, m_plot.left());
                 c <= lastColumn && c <= m_plot.right(); ++c) {
                const double centre = std::clamp(c + 0.5, previous.x(), p.x());
                const double y = width > 0 ? previous.y() + (centre - previous.x()) *
                                                                (p.y() - previous.y()) / width
                                           : p.y();
                const int top = std::max(static_cast<int>(std::lround(y)), m_plot.top());
                if (top < plotBottom) {
                    painter.fillRect(QRect(c, top, 1, plotBottom - top), kFillColour);
                }
            }
            previous = p;
        }
    }
    const std::int64_t lineFrom = std::max<std::int64_t>(from - 1, 1);
    previous = at(lineFrom - 1);
    left = std::min(left, previous.x());
    for (std::int64_t x = lineFrom; x <= to; ++x) {
        const QPointF p = at(x);
        segmentColumns(painter, previous, p, kPointColour);
        right = std::max(right, p.x());
        previous = p;
    }
    painter.setClipping(false);
    const QRect strip(QPoint(static_cast<int>(std::floor(left)) - 2, m_plot.top()),
                      QPoint(static_cast<int>(std::ceil(right)) + 2, m_plot.bottom()));
    dirty += strip.intersected(m_plot);
}

void TrendChart::drawOverviewColumns(QPainter& painter, int first, int last, QRegion& dirty) {
    if (first > last) {
        return;
    }
    Scene scene;
    scene.strip = m_strip;
    scene.overviewValues = {m_control.ValueMin(), m_control.ValueMax()};
    if (!(scene.overviewValues.width() > 0)) {
        scene.overviewValues = {-kStoredValueRange, kStoredValueRange};
    }
    const int columns = m_strip.width() - 2;
    first = std::max(first, 0);
    last = std::min(last, columns - 1);
    if (first > last) {
        return;
    }
    const QRect area(m_strip.left() + 1 + first, m_strip.top() + 1, last - first + 1,
                     m_strip.height() - 2);
    painter.fillRect(area, Qt::white);
    for (int c = first; c <= last; ++c) {
        float low = 0;
        float high = 0;
        if (m_overview.column(c, columns, low, high)) {
            verticalLine(painter, m_strip.left() + 1 + c, scene.stripY(high), scene.stripY(low),
                         kEnvelopeColour);
        }
    }
    // the span shown, over the columns drawn again
    const double capacity = static_cast<double>(m_overview.capacity());
    const double shownLeft = m_strip.left() + 1 + (m_xSpan.low - 1) * columns / capacity;
    const double shownRight = m_strip.left() + 1 + m_xSpan.high * columns / capacity;
    const QRectF shown(QPointF(std::max(shownLeft, double(m_strip.left() + 1)), area.top()),
                       QPointF(std::max(shownRight, shownLeft + 2), area.bottom() + 1));
    painter.fillRect(shown.intersected(area), kShownSpanColour);
    dirty += area;
}

void TrendChart::paintScene(QPainter& painter, const Scene& scene) const {
    const QRect all(QPoint(0, 0), scene.size);
    painter.fillRect(all, scene.white ? QColor(Qt::white) : kBackground);
    painter.setFont(labelFont());
    const QFontMetrics metrics(painter.font());
    const QRect plot = scene.plot;
    const double bottom = plot.top() + plot.height();
    painter.fillRect(plot, Qt::white);  // the white back wall

    // grid lines: minor ones on the value axis (four between two ticks), then the ticks'
    const double yStep = tickStep(scene.y.width(), 8, 1);
    const double xStep = tickStep(scene.x.width(), 5, 1);
    const std::vector<double> yTicks = tickValues(scene.y, yStep);
    const std::vector<double> xTicks = tickValues(scene.x, xStep);
    const std::vector<double> yMinor = tickValues(scene.y, yStep / 5);
    for (double v : yMinor) {
        horizontalLine(painter, scene.py(v), plot.left(), plot.right(), kMinorGridColour);
    }
    for (double v : yTicks) {
        horizontalLine(painter, scene.py(v), plot.left(), plot.right(), kGridColour);
    }
    for (double v : xTicks) {
        verticalLine(painter, scene.px(v), plot.top(), bottom - 1, kGridColour);
    }

    // the trace: the area down to the bottom of the plot, the line over it
    if (scene.points != nullptr && !scene.points->empty()) {
        painter.save();
        painter.setClipRect(plot);
        QPolygonF line;
        line.reserve(static_cast<qsizetype>(scene.points->size()) + 2);
        for (const ChartPoint& p : *scene.points) {
            line.append(QPointF(scene.px(p.x), scene.py(p.y)));
        }
        if (scene.fill && line.size() > 1) {
            QPolygonF area = line;
            area.append(QPointF(line.constLast().x(), bottom));
            area.append(QPointF(line.constFirst().x(), bottom));
            painter.setPen(Qt::NoPen);
            painter.setBrush(kFillColour);
            painter.drawPolygon(area);
        }
        painter.setPen(QPen(kPointColour, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(line);
        painter.restore();
    }

    // axes: the value axis dashed in its own colour, ticks and minor ticks outwards
    horizontalLine(painter, bottom, plot.left(), plot.right() + 1, kLabelColour);
    painter.setPen(QPen(kAxisColour, 0, Qt::DashLine));
    painter.drawLine(QPointF(plot.left(), plot.top()), QPointF(plot.left(), bottom));
    for (double v : yMinor) {
        horizontalLine(painter, scene.py(v), plot.left() - kTick, plot.left() - 1, kAxisColour);
    }
    for (double v : xTicks) {
        verticalLine(painter, scene.px(v), bottom, bottom + kTick, kLabelColour);
    }
    painter.setPen(kLabelColour);
    const int textHeight = metrics.height();
    for (double v : yTicks) {
        const QRectF box(0, scene.py(v) - textHeight / 2.0, plot.left() - kTick - 2, textHeight);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', 0));
    }
    for (double v : xTicks) {
        const QString text = QString::number(v, 'f', 0);
        const double w = metrics.horizontalAdvance(text) + 2;
        const QRectF box(scene.px(v) - w / 2, bottom + kTick, w, textHeight);
        painter.drawText(box, Qt::AlignCenter, text);
    }

    // the overview strip: every reading since New, lowest to highest per column
    const QRect strip = scene.strip;
    if (scene.overview != nullptr && strip.width() > 2) {
        painter.fillRect(strip, Qt::white);
        painter.setPen(QPen(QColor(160, 160, 160), 0));
        painter.drawRect(strip.adjusted(0, 0, -1, -1));
        const int columns = strip.width() - 2;
        Scene values = scene;
        if (!(values.overviewValues.width() > 0)) {
            values.overviewValues = {-kStoredValueRange, kStoredValueRange};
        }
        for (int c = 0; c < columns; ++c) {
            float low = 0;
            float high = 0;
            if (!scene.overview->column(c, columns, low, high)) {
                break;
            }
            verticalLine(painter, strip.left() + 1 + c, values.stripY(high), values.stripY(low),
                         kEnvelopeColour);
        }
        const double capacity = static_cast<double>(scene.overview->capacity());
        const double left = strip.left() + 1 + (scene.x.low - 1) * columns / capacity;
        const double right = strip.left() + 1 + scene.x.high * columns / capacity;
        const QRectF inner(strip.adjusted(1, 1, -1, -1));
        const QRectF shown(QPointF(std::max(left, inner.left()), inner.top()),
                           QPointF(std::max(right, left + 2), inner.bottom()));
        painter.fillRect(shown.intersected(inner), kShownSpanColour);
    }

    if (!scene.pageText.isEmpty()) {
        QFont title = arialStandInFont(13);
        painter.setFont(title);
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(QRect(plot.left(), 0, plot.width(), kBandHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, scene.pageText);
    }
}

void TrendChart::paintEvent(QPaintEvent* event) {
    if (!m_canvasValid) {
        refreshSeries();
    }
    QPainter painter(this);
    const qreal dpr = m_canvas.devicePixelRatio();
    for (const QRect& r : event->region()) {
        painter.drawPixmap(r, m_canvas, QRectF(r.topLeft() * dpr, r.size() * dpr));
    }
    for (const auto& mark : {m_selected, m_hover}) {
        if (mark && event->region().intersects(markerRect(*mark))) {
            const QPointF at = pointPosition(
                static_cast<double>(*mark), m_control.points().at(static_cast<std::size_t>(*mark)));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(mark == m_hover ? QColor(255, 0, 0) : kPointColour, 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(at, 4, 4);
        }
    }
}

// --- zoom, pan, readout
// ---------------------------------------------------------------------------

void TrendChart::fit() {
    m_zoom.reset();
    refreshSeries();
}

void TrendChart::zoomAbout(double x, double factor) {
    m_zoom = zoomSpan(m_xSpan, x, factor, kMinZoomWidth, xLimits());
    setHover(std::nullopt, {});
    refreshSeries();
}

void TrendChart::wheelEvent(QWheelEvent* event) {
    event->accept();
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0 || m_plot.width() <= 0) {
        return;
    }
    const double x =
        m_xSpan.low + (event->position().x() - m_plot.left()) * m_xSpan.width() / m_plot.width();
    zoomAbout(std::clamp(x, m_xSpan.low, m_xSpan.high), std::pow(kZoomStep, notches));
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    const double centre = (m_xSpan.low + m_xSpan.high) / 2;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
        case Qt::Key_Up:
            zoomAbout(centre, kZoomStep);
            break;
        case Qt::Key_Minus:
        case Qt::Key_Down:
            zoomAbout(centre, 1 / kZoomStep);
            break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const double step = m_xSpan.width() / 10 * (event->key() == Qt::Key_Left ? -1 : 1);
            m_zoom = panSpan(m_xSpan, step, xLimits());
            refreshSeries();
            break;
        }
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressPos = event->position().toPoint();
    m_pressSpan = m_xSpan;
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_pressed && m_plot.contains(m_pressPos)) {
        if (!m_dragging && (pos - m_pressPos).manhattanLength() >= kDragDistance) {
            m_dragging = true;
            setCursor(Qt::ClosedHandCursor);
        }
        if (m_dragging && m_plot.width() > 0) {
            const double delta = -(pos.x() - m_pressPos.x()) * m_pressSpan.width() / m_plot.width();
            m_zoom = panSpan(m_pressSpan, delta, xLimits());
            setHover(std::nullopt, {});
            refreshSeries();
            return;
        }
    }
    setHover(pointAt(pos), pos);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    if (m_dragging) {
        m_dragging = false;
        unsetCursor();
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (m_strip.contains(pos) && m_overview.count() > 0) {
        // the strip: go to the page of the reading under the click
        const int columns = m_strip.width() - 2;
        const double share = std::clamp(double(pos.x() - m_strip.left() - 1) / columns, 0.0, 1.0);
        const auto index = static_cast<std::int64_t>(share * m_overview.capacity());
        const std::int64_t x = std::clamp<std::int64_t>(index + 1, 1, m_control.PointCount() - 1);
        pageMoved(m_control.GoToPoint(x));
        return;
    }
    if (const auto x = pointAt(pos)) {
        m_selected = x;
        update();
        if (const auto row = m_rows.rowOf(*x)) {
            emit rowPicked(*row);
        }
    }
}

void TrendChart::leaveEvent(QEvent* event) {
    setHover(std::nullopt, {});
    QWidget::leaveEvent(event);
}

std::optional<std::int64_t> TrendChart::pointAt(QPoint pos) const {
    if (!m_plot.adjusted(-kHoverReach, 0, kHoverReach, 0).contains(pos) || m_plot.width() <= 0) {
        return std::nullopt;
    }
    const double value = m_xSpan.low + (pos.x() - m_plot.left()) * m_xSpan.width() / m_plot.width();
    const std::int64_t newest = m_control.PointCount() - 1;
    const auto x = static_cast<std::int64_t>(std::llround(value));
    if (x < 1 || x > newest || x < m_xSpan.low || x > m_xSpan.high) {
        return std::nullopt;
    }
    const QPointF at =
        pointPosition(static_cast<double>(x), m_control.points().at(static_cast<std::size_t>(x)));
    if (std::abs(at.x() - pos.x()) > kHoverReach || std::abs(at.y() - pos.y()) > kHoverReach) {
        return std::nullopt;
    }
    return x;
}

QRect TrendChart::markerRect(std::int64_t x) const {
    if (x < 0 || x >= m_control.PointCount()) {
        return {};
    }
    const QPointF at =
        pointPosition(static_cast<double>(x), m_control.points().at(static_cast<std::size_t>(x)));
    return QRect(static_cast<int>(at.x()) - 7, static_cast<int>(at.y()) - 7, 15, 15);
}

void TrendChart::setHover(std::optional<std::int64_t> x, QPoint pos) {
    if (x == m_hover) {
        return;
    }
    if (m_hover) {
        update(markerRect(*m_hover));
    }
    m_hover = x;
    if (!x) {
        m_readout->hide();
        return;
    }
    update(markerRect(*x));
    m_readout->setText(readoutText(*x));
    m_readout->adjustSize();
    // beside the point, kept inside the chart
    QPoint place = pos + QPoint(12, -m_readout->height() - 6);
    place.setX(std::clamp(place.x(), 0, std::max(0, width() - m_readout->width())));
    if (place.y() < kBandHeight) {
        place.setY(pos.y() + 14);
    }
    m_readout->move(place);
    m_readout->show();
    m_readout->raise();
}

QString TrendChart::readoutText(std::int64_t x) const {
    const float y = m_control.points().at(static_cast<std::size_t>(x));
    const auto row = m_rows.rowOf(x);
    if (m_table == nullptr || !row || *row >= m_table->rowCount()) {
        return QStringLiteral("Point %1\n%2").arg(x).arg(static_cast<double>(y), 0, 'f', 0);
    }
    const std::optional<std::int32_t> no = m_table->no(*row);
    const QString number = no ? QString::number(*no) : QString::number(*row + 1);
    QString text = QStringLiteral("No %1").arg(number);
    const std::string_view time = m_table->text(*row, Field::Time);
    if (!time.empty()) {
        text += QLatin1Char('\n') + plainText(time);  // the date too when the row has one
    }
    QString value = glyphDisplayText(m_table->text(*row, Field::Value)).trimmed();
    const QString unit = glyphDisplayText(m_table->text(*row, Field::Unit)).trimmed();
    if (!unit.isEmpty()) {
        value += QLatin1Char(' ') + unit;
    }
    if (!value.isEmpty()) {
        text += QLatin1Char('\n') + value;
    }
    return text;
}

void TrendChart::showRow(std::size_t row) {
    const auto x = m_rows.pointOf(row);
    if (!x) {
        return;
    }
    const std::int32_t page = m_control.GoToPoint(*x);
    if (m_zoom && (*x < m_zoom->low || *x > m_zoom->high)) {
        m_zoom.reset();
    }
    showPage(page);
    m_selected = x;
    refreshSeries();
    update();
}
