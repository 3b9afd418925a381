#pragma once

#include <QChartView>
#include <QList>
#include <QMessageBox>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <vector>

#include "display/chart_control.h"
#include "meter/reading_consumer.h"

class QAreaSeries;
class QCheckBox;
class QLineEdit;
class QLineSeries;
class QMenu;
class QToolButton;
class QValueAxis;

// The chart's modal conversations with the user, replaceable so that tests answer them.
class ChartPrompts {
public:
    virtual ~ChartPrompts() = default;
    // The save-picture dialog ("Bitmaps (*.bmp)"); returns the chosen name, empty if cancelled.
    virtual QString pictureFileName(QWidget* parent);
    // A modal message box with a single button.
    virtual void message(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                         QMessageBox::StandardButton button);
};

// The trend chart Chtshow: the recorded readings against their row numbers, one page at a
// time, drawn with Qt Charts (a filled area under a line, both fed only the points of the
// visible window, so drawing costs the same at a hundred or ten million readings), with its
// paging, fill, page-size, New, save and enlarge controls inside the chart. The paging logic
// is TChartControl's; this widget draws its state and forwards the clicks.
class TrendChart : public QChartView, public ReadingConsumer, private ChartSurface {
    Q_OBJECT
public:
    static constexpr int kStartPageSize = 100;

    explicit TrendChart(QWidget* parent = nullptr);
    ~TrendChart() override;

    TChartControl& control() { return m_control; }
    const TChartControl& control() const { return m_control; }

    // Replaces the dialogs and message boxes (the chart does not own them); null restores the
    // real ones.
    void setPrompts(ChartPrompts* prompts);

    // The areas enlarge hides and restore shows again (the LCD panel Panel1 and the "Function
    // board" GroupBox1); either may be null.
    void setEnlargeTargets(QWidget* lcdPanel, QWidget* functionBoard);
    bool isEnlarged() const { return m_enlarged; }

    // Fills the window's (hidden) "Graphic" menu: "First", "Previous", "Next", "Last", "Save",
    // "Fill" (checked like BtFill) and "New" (which does nothing there).
    void fillGraphicMenu(QMenu* menu);

    // Chart feed (the decoder's last step, only for a reading that became a row): plots y
    // and shows the page number. Never fails: when memory runs out the point is not plotted.
    void chartFeed(int y) override;

    // Brings the series and axes up to the controller's state now (they otherwise follow on
    // the next turn of the event loop, so a burst of readings costs one redraw).
    void refreshSeries();
    // Renders the chart as shown, at its current size, on white (without the controls).
    QImage renderPicture();
    // Writes the picture as a BMP file. Returns false with a reason in *error when the file
    // cannot be written (an existing file is then left as it was).
    bool writePicture(const QString& fileName, QString* error);

    // The controls inside the chart, by component name.
    QCheckBox* BtFill() const { return m_btFill; }
    QLineEdit* Maxrecord() const { return m_maxrecord; }
    QToolButton* BtNew() const { return m_btNew; }
    QToolButton* BtSave() const { return m_btSave; }
    QToolButton* BtFirst() const { return m_btFirst; }
    QToolButton* BTPrevious() const { return m_btPrevious; }
    QToolButton* Bt10() const { return m_bt10; }
    QToolButton* BtNext() const { return m_btNext; }
    QToolButton* BTlast() const { return m_btLast; }
    QToolButton* TbFd() const { return m_tbFd; }
    QToolButton* TbSx() const { return m_tbSx; }
    QTimer* Timer2() { return &m_timer2; }

    // The two series (index 0 the area, index 1 the line) and the axes.
    QAreaSeries* areaSeries() const { return m_area; }
    QLineSeries* lineSeries() const { return m_line; }
    QValueAxis* axisX() const { return m_axisX; }
    QValueAxis* axisY() const { return m_axisY; }

public slots:
    // New's part on the chart: back to page 1 with no readings, page number shown.
    void clearChart();
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    void btFillClick();
    // The "Fill" menu item: toggles BtFill (and with it the area and the item's check mark).
    void FillClick();
    // On every change of the page-size text: checks it and restarts the one-second Timer2.
    void MaxrecordExit();
    // One second after the last change: applies the page size or refuses it.
    void Timer2Timer();
    // Enlarge and restore (TbFd and TbSx).
    void TbFdClick();
    void BtSaveClick();

signals:
    // BtNew was clicked: the window runs New (which clears this chart through clearChart).
    void newRequested();

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void chartChanged(Change change) override;
    void scheduleRefresh();
    void showPage(int page);
    void buildChart();
    void buildControls();
    QToolButton* addButton(const QString& objectName, const QString& hint, int left, int top,
                           int width, int height);

    TChartControl m_control;
    ChartPrompts m_defaultPrompts;
    ChartPrompts* m_prompts = &m_defaultPrompts;

    QChart* m_chart = nullptr;
    QAreaSeries* m_area = nullptr;
    QLineSeries* m_upper = nullptr;  // the area's outline, fed the same points as the line
    QLineSeries* m_line = nullptr;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;

    QCheckBox* m_btFill = nullptr;
    QLineEdit* m_maxrecord = nullptr;
    QToolButton* m_btNew = nullptr;
    QToolButton* m_btSave = nullptr;
    QToolButton* m_btFirst = nullptr;
    QToolButton* m_btPrevious = nullptr;
    QToolButton* m_bt10 = nullptr;
    QToolButton* m_btNext = nullptr;
    QToolButton* m_btLast = nullptr;
    QToolButton* m_tbFd = nullptr;
    QToolButton* m_tbSx = nullptr;
    QTimer m_timer2;
    QTimer m_refreshTimer;
    bool m_refreshPending = false;

    QPointer<QWidget> m_lcdPanel;
    QPointer<QWidget> m_functionBoard;
    bool m_enlarged = false;
    QRect m_normalGeometry;

    std::vector<ChartPoint> m_visible;
    QList<QPointF> m_seriesPoints;
};
