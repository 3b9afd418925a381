#include "display/ui/trend_chart.h"

#include <QApplication>
#include <QAreaSeries>
#include <QCheckBox>
#include <QFileDialog>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QToolButton>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <new>

#include "display/chart_page_size.h"
#include "recording/recorder.h"
#include "recording/ui/digit_filter.h"

namespace {

// The stored ranges the chart shows until start-up sets its own.
constexpr double kStoredValueRange = 41000;
// Points handed to the drawing at most; a wider window is thinned to its peaks.
constexpr std::size_t kDrawBudget = 2048;

const QColor kFillColour(255, 255, 128);
const QColor kOutlineColour(0, 128, 255);
const QColor kPointColour(0, 0, 255);
const QColor kAxisColour(0, 64, 128);

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

// A tick spacing of 1, 2 or 5 times a power of ten giving about five ticks over the span.
double tickInterval(double span) {
    if (span <= 0) {
        return 1;
    }
    const double raw = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= step * power) {
            return std::max(1.0, step * power);
        }
    }
    return std::max(1.0, 10 * power);
}

// A one-pixel pen as a zero-width one (which draws the same one-pixel line); wider pens stay.
QPen hairline(QPen pen) {
    if (pen.widthF() <= 1.0) {
        pen.setWidth(0);
    }
    return pen;
}

}  // namespace

QString ChartPrompts::pictureFileName(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Bitmaps (*.bmp)"));
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setFileMode(QFileDialog::AnyFile);  // the overwrite question is on by default
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

TrendChart::TrendChart(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("Chtshow"));
    setFrameShape(QFrame::NoFrame);
    setRubberBand(QChartView::NoRubberBand);  // no zooming, no panning
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    resize(373, 353);

    buildChart();
    buildControls();

    m_timer2.setInterval(1000);
    m_timer2.setSingleShot(true);
    connect(&m_timer2, &QTimer::timeout, this, &TrendChart::Timer2Timer);
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &TrendChart::refreshSeries);

    m_control.Create(this, kStartPageSize);
    refreshSeries();
}

TrendChart::~TrendChart() = default;

void TrendChart::buildChart() {
    m_chart = new QChart();
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(QColor(240, 240, 240));
    m_chart->setPlotAreaBackgroundBrush(Qt::white);  // the white back wall
    m_chart->setPlotAreaBackgroundVisible(true);
    m_chart->setDropShadowEnabled(false);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->hide();
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(13);
    m_chart->setTitleFont(titleFont);
    m_chart->setTitleBrush(QColor(0, 0, 255));
    m_chart->setTitle(QStringLiteral("  "));
    // the controls sit in the band above the plot
    m_chart->setMargins(QMargins(4, 14, 8, 4));

    m_upper = new QLineSeries(this);
    m_area = new QAreaSeries(m_upper);
    m_area->setName(QStringLiteral("Series2"));
    m_area->setBrush(kFillColour);
    m_area->setPen(QPen(kOutlineColour, 1));
    m_area->setPointsVisible(false);
    m_line = new QLineSeries();
    m_line->setName(QStringLiteral("Series1"));
    m_line->setPen(QPen(kPointColour, 1));
    m_line->setPointsVisible(false);
    // index 0 the area, index 1 the line, so the line is drawn over the fill
    m_chart->addSeries(m_area);
    m_chart->addSeries(m_line);

    m_axisX = new QValueAxis();
    m_axisX->setLabelFormat(QStringLiteral("%.0f"));
    m_axisX->setTickType(QValueAxis::TicksDynamic);
    m_axisX->setTickAnchor(0);
    m_axisX->setRange(0, 100);
    m_axisY = new QValueAxis();
    m_axisY->setLabelFormat(QStringLiteral("%.0f"));
    m_axisY->setTickCount(9);
    m_axisY->setMinorTickCount(4);
    m_axisY->setLinePen(QPen(kAxisColour, 1, Qt::DashLine));
    m_axisY->setRange(-kStoredValueRange, kStoredValueRange);
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(m_area), static_cast<QAbstractSeries*>(m_line)}) {
        series->attachAxis(m_axisX);
        series->attachAxis(m_axisY);
    }
    // The axis lines, ticks and grid lines are one pixel wide. Drawn with a zero-width pen they
    // look the same, but the scene then finds their bounds directly instead of stroking each
    // line's outline whenever the chart is repainted (some forty lines, on every reading).
    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLinePen(hairline(axis->linePen()));
        axis->setGridLinePen(hairline(axis->gridLinePen()));
        axis->setMinorGridLinePen(hairline(axis->minorGridLinePen()));
    }
    setChart(m_chart);
}

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
}

void TrendChart::setPrompts(ChartPrompts* prompts) {
    m_prompts = prompts != nullptr ? prompts : &m_defaultPrompts;
}

void TrendChart::setEnlargeTargets(QWidget* lcdPanel, QWidget* functionBoard) {
    m_lcdPanel = lcdPanel;
    m_functionBoard = functionBoard;
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
        showPage(m_control.AddValue(y));
    } catch (const std::bad_alloc&) {
        // out of memory: this point is not plotted; the recording and the display carry on
    }
}

void TrendChart::clearChart() {
    showPage(m_control.Clear());
}

void TrendChart::showPage(int page) {
    m_bt10->setText(QString::number(page));
}

void TrendChart::BtFirstClick() {
    showPage(m_control.FirstPage());
}

void TrendChart::BTPreviousClick() {
    showPage(m_control.PreviousPage());
}

void TrendChart::BtNextClick() {
    showPage(m_control.NextPage());
}

void TrendChart::BTlastClick() {
    showPage(m_control.LastPage());
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
        // nearly the whole client area: 2 px left, below the top bar, 2 px right, 11 px bottom
        const QSize area = parentWidget() != nullptr ? parentWidget()->size() : size();
        setGeometry(2, 28, std::max(area.width() - 4, 1), std::max(area.height() - 39, 1));
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

QImage TrendChart::renderPicture() {
    refreshSeries();
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    // the view's scene only: the buttons inside the chart are not part of the picture
    QGraphicsView::render(&painter, QRectF(image.rect()), viewport()->rect(),
                          Qt::IgnoreAspectRatio);
    return image;
}

bool TrendChart::writePicture(const QString& fileName, QString* error) {
    const QImage image = renderPicture();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error != nullptr) {
            *error =
                QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString());
        }
        return false;
    }
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        if (error != nullptr) {
            *error =
                QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, writer.errorString());
        }
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error != nullptr) {
            *error =
                QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, file.errorString());
        }
        return false;
    }
    return true;
}

void TrendChart::wheelEvent(QWheelEvent* event) {
    // ChtshowMouseWheel: turns of the wheel over the chart are taken and do nothing
    event->accept();
}

void TrendChart::chartChanged(Change change) {
    switch (change) {
        case Change::Fill:
            m_area->setVisible(m_control.FillVisible());
            break;
        case Change::ValueRange:
            if (m_control.ValueMin() < m_control.ValueMax()) {
                m_axisY->setRange(m_control.ValueMin(), m_control.ValueMax());
            }
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

void TrendChart::refreshSeries() {
    m_refreshTimer.stop();
    const ChartAxisWindow& window = m_control.window();
    // a page of one point gets a window one unit wide around it, so the axis keeps a span
    const bool onePoint = window.maximum <= window.minimum;
    const double minimum = static_cast<double>(window.minimum) - (onePoint ? 0.5 : 0);
    const double maximum = static_cast<double>(window.maximum) + (onePoint ? 0.5 : 0);
    if (m_axisX->min() != minimum || m_axisX->max() != maximum) {
        m_axisX->setRange(minimum, maximum);
        m_axisX->setTickInterval(tickInterval(maximum - minimum));
    }
    m_visible.clear();
    m_control.visiblePoints(kDrawBudget, m_visible);
    m_seriesPoints.resize(static_cast<qsizetype>(m_visible.size()));
    for (std::size_t i = 0; i < m_visible.size(); ++i) {
        m_seriesPoints[static_cast<qsizetype>(i)] = QPointF(m_visible[i].x, m_visible[i].y);
    }
    // both series share the one list (implicitly shared, not copied)
    m_upper->replace(m_seriesPoints);
    m_line->replace(m_seriesPoints);
}
