#pragma once

#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

#include "display/chart_control.h"
#include "display/chart_overview.h"
#include "display/chart_view.h"
#include "meter/reading_consumer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;
class TableStore;

// The chart's modal conversations with the user, replaceable so that tests answer them.
class ChartPrompts {
public:
    virtual ~ChartPrompts() = default;
    // The save-picture dialog ("Bitmaps (*.bmp)", PNG and SVG beside it); returns the chosen
    // name, empty if cancelled.
    virtual QString pictureFileName(QWidget* parent);
    // A modal message box with a single button.
    virtual void message(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                         QMessageBox::StandardButton button);
};

// The trend chart Chtshow: the recorded readings against their row numbers, one page at a
// time, a filled area under a line, with its paging, fill, page-size, New, save and enlarge
// controls inside the chart. The paging logic is TChartControl's; this widget draws its state
// and forwards the clicks.
//
// Drawing is cached so that a reading costs only its own segment: the axes, grid, labels and the
// trace drawn so far sit in one picture that is drawn again as a whole only when the span shown
// changes (a new page, a zoom, a resize); a new reading adds its segment and its strip of fill
// to it and repaints that strip alone. Only the points of the span shown are read, so drawing
// costs the same at a hundred or ten million readings.
//
// Beyond the pages: the wheel zooms about the cursor, dragging pans, "+", "-" and the arrow keys
// do the same and "Fit" returns to the page; "Auto" scales the value axis to the readings shown.
// Hovering a point shows its row; clicking it picks the row (rowPicked). A strip under the chart
// shows every reading since New as its lowest and highest value per pixel column; a click on it
// goes to that page.
class TrendChart : public QWidget, public ReadingConsumer, private ChartSurface {
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

    // The table whose rows the readings become (for the readout and for picking rows); it must
    // outlive the chart or be unset (null) first. Without one the readout shows the point only.
    void setRowTable(const TableStore* table);

    // Fills the window's (hidden) "Graphic" menu: "First", "Previous", "Next", "Last", "Save",
    // "Fill" (checked like BtFill) and "New" (which does nothing there).
    void fillGraphicMenu(QMenu* menu);

    // Chart feed (the decoder's last step, only for a reading that became a row): plots y
    // and shows the page number. Never fails: when memory runs out the point is not plotted.
    void chartFeed(int y) override;

    // Brings the drawing up to the controller's state now (it otherwise follows on the next
    // turn of the event loop, so a burst of readings costs one redraw).
    void refreshSeries();
    // Renders the chart as shown, at its current size, on white (without the controls; the
    // page number written where its button is).
    QImage renderPicture();
    // Writes the picture under fileName, as SVG for ".svg", PNG for ".png" and BMP otherwise.
    // Returns false with a reason in *error when the file cannot be written (an existing file
    // is then left as it was).
    bool writePicture(const QString& fileName, QString* error);

    // What the chart shows now: the horizontal span (row numbers) and the value span.
    ChartSpan shownSpan() const { return m_xSpan; }
    ChartSpan valueSpan() const { return m_ySpan; }
    bool isZoomed() const { return m_zoom.has_value(); }
    // The plot area and the overview strip, in widget pixels.
    QRect plotRect() const { return m_plot; }
    QRect overviewRect() const { return m_strip; }
    // Where reading x (value y) is drawn, in widget pixels.
    QPointF pointPosition(double x, double y) const;
    // Points read for the last full drawing of the span shown (after thinning).
    std::size_t drawnPointCount() const { return m_drawnPoints; }
    // The whole recording's envelope, as the strip draws it.
    const ChartOverview& overview() const { return m_overview; }
    // The reading under the mouse (its readout shown) or selected; nullopt if none.
    std::optional<std::int64_t> hoveredPoint() const { return m_hover; }
    std::optional<std::int64_t> selectedPoint() const { return m_selected; }
    QLabel* readout() const { return m_readout; }

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
    QToolButton* BtFit() const { return m_btFit; }
    QToolButton* BtAutoScale() const { return m_btAutoScale; }
    QTimer* Timer2() { return &m_timer2; }

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
    // Back to the page shown before any zoom or pan.
    void fit();
    // Zooms about value x of the horizontal axis (factor below 1 zooms in).
    void zoomAbout(double x, double factor);
    // Shows the point of a table row (paging to it) and marks it; nothing if no point has it.
    void showRow(std::size_t row);

signals:
    // BtNew was clicked: the window runs New (which clears this chart through clearChart).
    void newRequested();
    // A point was clicked: its table row.
    void rowPicked(std::size_t row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Scene;
    void chartChanged(Change change) override;
    void scheduleRefresh();
    void showPage(int page);
    void pageMoved(int page);
    void buildControls();
    QToolButton* addButton(const QString& objectName, const QString& hint, int left, int top,
                           int width, int height);
    void layoutAreas();
    ChartSpan xLimits() const;
    ChartSpan targetXSpan() const;
    void collectShown(ChartSpan span, std::vector<ChartPoint>& out) const;
    void redrawAll();
    bool newPointsLeaveValueSpan() const;
    void drawNewPoints(QPainter& painter, QRegion& dirty);
    void drawOverviewColumns(QPainter& painter, int first, int last, QRegion& dirty);
    void paintScene(QPainter& painter, const Scene& scene) const;
    // The chart as a saved picture shows it: on white, the page's points and the overview.
    Scene pictureScene();
    std::optional<std::int64_t> pointAt(QPoint pos) const;
    void setHover(std::optional<std::int64_t> x, QPoint pos);
    QRect markerRect(std::int64_t x) const;
    QString readoutText(std::int64_t x) const;

    TChartControl m_control;
    ChartPrompts m_defaultPrompts;
    ChartPrompts* m_prompts = &m_defaultPrompts;
    const TableStore* m_table = nullptr;
    ChartRowMap m_rows;
    ChartOverview m_overview;

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
    QToolButton* m_btFit = nullptr;
    QToolButton* m_btAutoScale = nullptr;
    QLabel* m_readout = nullptr;
    QTimer m_timer2;
    QTimer m_refreshTimer;

    QPointer<QWidget> m_lcdPanel;
    QPointer<QWidget> m_functionBoard;
    bool m_enlarged = false;
    QRect m_normalGeometry;

    // The drawing: plot and strip places, the spans shown, and the cached picture.
    QRect m_plot;
    QRect m_strip;
    ChartSpan m_xSpan{0, 100};
    ChartSpan m_ySpan{-41000, 41000};
    std::optional<ChartSpan> m_zoom;  // the user's span; none: the page
    QPixmap m_canvas;
    bool m_canvasValid = false;
    bool m_canvasFill = true;
    std::int64_t m_drawnTo = -1;         // the newest x in the canvas's trace
    std::size_t m_overviewDrawn = 0;     // readings the strip shows
    std::size_t m_overviewCapacity = 0;  // the strip's span when last drawn whole
    std::size_t m_drawnPoints = 0;
    std::vector<ChartPoint> m_points;  // scratch for the points of the span shown

    std::optional<std::int64_t> m_hover;
    std::optional<std::int64_t> m_selected;
    QPoint m_pressPos;
    ChartSpan m_pressSpan;
    bool m_pressed = false;
    bool m_dragging = false;
};
