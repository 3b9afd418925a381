#include "recording/ui/measurement_grid.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <utility>

#include "recording/ui/glyph_text.h"

namespace {

// The scroll bar counts in rows; a larger table scrolls in proportional steps.
constexpr std::size_t kScrollLimit = std::numeric_limits<int>::max() / 2;

// Paints a cell: its text from a cache of laid-out texts, and its grid lines. A reading's cells
// are drawn when the row comes in and again when the highlight leaves it, and most of their texts
// (function, unit, range, the current second) repeat from row to row, so laying each text out
// and shaping it at every paint would be most of the grid's cost. A text wider than its cell is
// left to the standard painting, which elides it. The view's own grid is off: it strokes its
// lines through the clip of every repainted area, which costs more than the cells; here each
// cell fills its right and bottom edge.
class CellPainter : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        if (!m_gridColour) {
            m_gridColour = QColor::fromRgba(static_cast<QRgb>(
                style->styleHint(QStyle::SH_Table_GridLineColor, &option, widget)));
            m_margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        }
        const QRect full = option.rect;
        painter->fillRect(QRect(full.right(), full.top(), 1, full.height()), *m_gridColour);
        painter->fillRect(QRect(full.left(), full.bottom(), full.width() - 1, 1), *m_gridColour);
        QStyleOptionViewItem cell = option;
        cell.rect = full.adjusted(0, 0, -1, -1);

        const int c = index.column();
        if (c < 0 || c >= static_cast<int>(m_columns.size())) {
            QStyledItemDelegate::paint(painter, cell, index);
            return;
        }
        Column& column = m_columns[static_cast<std::size_t>(c)];
        if (!column.ready) {
            // a column's font and alignment never change
            column.font = index.data(Qt::FontRole).value<QFont>();
            column.alignment = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
            column.ready = true;
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        auto cached = column.texts.constFind(text);
        if (cached == column.texts.constEnd()) {
            if (column.texts.size() >= kCacheLimit) {
                column.texts.clear();
            }
            QStaticText laidOut(text);
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(QTransform(), column.font);
            cached = column.texts.insert(text, laidOut);
        }
        const QStaticText& laidOut = cached.value();
        const QRect area = cell.rect.adjusted(m_margin, 0, -m_margin, 0);
        const QSizeF size = laidOut.size();
        if (size.width() > area.width()) {
            QStyledItemDelegate::paint(painter, cell, index);
            return;
        }
        const QPalette::ColorGroup group =
            !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
            : (option.state & QStyle::State_Active) ? QPalette::Normal
                                                    : QPalette::Inactive;
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            painter->fillRect(cell.rect, option.palette.brush(group, QPalette::Highlight));
        }
        double x = area.left();
        if (column.alignment & Qt::AlignHCenter) {
            x += (area.width() - size.width()) / 2;
        } else if (column.alignment & Qt::AlignRight) {
            x = area.right() + 1 - size.width();
        }
        const double y = area.top() + (area.height() - size.height()) / 2;
        painter->setFont(column.font);
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawStaticText(QPointF(x, y), laidOut);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(cell);
            focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
            focus.backgroundColor =
                option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
            style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
        }
    }

private:
    // Texts kept per column at most; then the cache starts again (a new reading brings its new
    // value and number, so a long recording would otherwise keep every text it ever showed).
    static constexpr qsizetype kCacheLimit = 512;
    struct Column {
        bool ready = false;
        QFont font;
        Qt::Alignment alignment;
        QHash<QString, QStaticText> texts;
    };
    mutable std::array<Column, MeasurementTableModel::ColumnCount> m_columns;
    mutable std::optional<QColor> m_gridColour;
    mutable int m_margin = 3;
};

// The table view, which follows a window moving down by a few rows (every appended reading
// while the grid follows the newest) by moving the painted rows up and painting only the rows
// that came in and the current row's old and new place, instead of every cell again.
class GridView : public QTableView {
public:
    using QTableView::QTableView;

    // The window is about to move down by rows; the whole-window dataChanged follows.
    void windowShifting(int rows) {
        m_shift = rows;
        m_currentBefore = currentIndex().row();
    }

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override {
        const int shift = std::exchange(m_shift, 0);
        const int rows = model()->rowCount();
        const int rowHeight = verticalHeader()->defaultSectionSize();
        if (shift <= 0 || shift >= rows || topLeft.row() != 0 || bottomRight.row() != rows - 1 ||
            !isVisible()) {
            QTableView::dataChanged(topLeft, bottomRight, roles);
            return;
        }
        QWidget* port = viewport();
        port->scroll(0, -shift * rowHeight);
        const auto rowRect = [&](int row) {
            return QRect(0, rowViewportPosition(row), port->width(), rowHeight);
        };
        // the rows that came in, and the space below the last row
        QRegion dirty(QRect(0, rowViewportPosition(rows - shift), port->width(), port->height()));
        if (m_currentBefore >= 0) {
            // the old highlight, moved up: only its cell is highlighted, so only its cell changes
            const int column = currentIndex().column();
            const QRect cell = column >= 0 ? QRect(columnViewportPosition(column),
                                                   rowViewportPosition(m_currentBefore - shift),
                                                   columnWidth(column), rowHeight)
                                           : rowRect(m_currentBefore - shift);
            dirty += cell;
            dirty += rowRect(m_currentBefore);
        }
        port->update(dirty);
    }

private:
    int m_shift = 0;
    int m_currentBefore = -1;
};

// The grid's scroll bar, which repaints only when its look changes. While the grid follows the
// newest reading its range grows and its value follows at every row, but past a few hundred rows
// the slider is at its smallest and stays at the bottom: the same pixels, painted again at every
// reading. The grid sets range, value and page step as one change between hold() and release(),
// so the passing state between them (the range grown, the value not yet) paints nothing.
class GridScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    void hold() { m_held = true; }
    void release() {
        m_held = false;
        if (m_changed) {
            m_changed = false;
            if (!m_painted || look() != *m_painted) {
                update();
            }
        }
    }

protected:
    void sliderChange(SliderChange change) override {
        if (m_held && change != SliderOrientationChange) {
            m_changed = true;
            return;
        }
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent* event) override {
        m_painted = look();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect slider;
        bool up = false;  // the arrows are drawn disabled at the ends
        bool down = false;
        bool enabled = false;
        bool operator==(const Look&) const = default;
    };
    Look look() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                value() > minimum(), value() < maximum(), isEnabled()};
    }
    bool m_held = false;
    bool m_changed = false;
    std::optional<Look> m_painted;  // what the last paint showed
};

}  // namespace

MeasurementGrid::MeasurementGrid(TableStore& store, QWidget* parent)
    : QWidget(parent),
      m_model(new MeasurementTableModel(store, this)),
      m_view(new GridView(this)),
      m_scroll(new GridScrollBar(Qt::Vertical, this)) {
    setObjectName(QStringLiteral("DBGrid1"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_scroll);

    m_view->setModel(m_model);
    m_view->setItemDelegate(new CellPainter(m_view));
    m_view->setFont(arialStandInFont(12));
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setShowGrid(false);  // the cells draw the grid (CellPainter)
    m_view->setWordWrap(false);
    m_view->setTabKeyNavigation(true);

    QHeaderView* rows = m_view->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setFixedWidth(12);
    rows->setDefaultAlignment(Qt::AlignCenter);
    rows->setSectionsClickable(false);

    QHeaderView* columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setHighlightSections(false);
    columns->setFont(arialStandInFont(11));
    for (int c = 0; c < MeasurementTableModel::ColumnCount; ++c) {
        m_view->setColumnWidth(c, fittingWidth(c));
    }
    // A double click on a column's divider fits that column again (the view's own fit sees only
    // the rows on screen and could cut a wider text off the next one).
    disconnect(columns, &QHeaderView::sectionHandleDoubleClicked, m_view, nullptr);
    connect(columns, &QHeaderView::sectionHandleDoubleClicked, this,
            [this](int column) { m_view->setColumnWidth(column, fittingWidth(column)); });

    m_scroll->setSingleStep(1);
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (m_syncing) {
            return;
        }
        const std::size_t last = m_model->lastFirstRow();
        std::size_t first = static_cast<std::size_t>(value);
        if (last > kScrollLimit && m_scroll->maximum() > 0) {
            first = static_cast<std::size_t>(static_cast<double>(value) / m_scroll->maximum() *
                                             static_cast<double>(last));
        }
        m_model->setFirstRow(first);
    });
    connect(m_model, &MeasurementTableModel::windowChanged, this, &MeasurementGrid::syncFromModel);
    connect(m_model, &MeasurementTableModel::windowShifting, static_cast<GridView*>(m_view),
            &GridView::windowShifting);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_syncing && current.isValid()) {
                    const std::size_t row =
                        m_model->firstRow() + static_cast<std::size_t>(current.row());
                    // A click with Shift selects the rows from the current one to it.
                    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) {
                        m_model->extendSelectionTo(row);
                    } else {
                        m_model->clearSelection();
                        m_model->setCurrentRow(row);
                    }
                    emit currentRowPicked(row);
                }
            });
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    syncFromModel();
}

int MeasurementGrid::fittingWidth(int column) const {
    // The cell's text margins and its grid line, as the view lays a cell out.
    const int margin =
        2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1) + 1;
    int width = std::max(MeasurementTableModel::columnWidth(column),
                         m_view->horizontalHeader()->sectionSizeHint(column));
    const QFontMetrics metrics(MeasurementTableModel::columnFont(column));
    for (const QString& text : MeasurementTableModel::possibleTexts(column)) {
        width = std::max(width, metrics.horizontalAdvance(text) + margin);
    }
    // Texts read from files may be wider still: those on screen fit too.
    const auto* view = static_cast<const QAbstractItemView*>(m_view);
    return std::max(width, view->sizeHintForColumn(column));
}

void MeasurementGrid::fitWindow() {
    const int height = m_view->viewport()->height();
    m_model->setWindowRows(std::max(1, height / kRowHeight));
}

void MeasurementGrid::syncFromModel() {
    m_syncing = true;
    auto* scroll = static_cast<GridScrollBar*>(m_scroll);
    scroll->hold();
    const std::size_t last = m_model->lastFirstRow();
    const std::size_t first = m_model->firstRow();
    if (last > kScrollLimit) {
        m_scroll->setRange(0, static_cast<int>(kScrollLimit));
        m_scroll->setValue(static_cast<int>(static_cast<double>(first) / static_cast<double>(last) *
                                            kScrollLimit));
    } else {
        m_scroll->setRange(0, static_cast<int>(last));
        m_scroll->setValue(static_cast<int>(first));
    }
    m_scroll->setPageStep(m_model->windowRows());
    scroll->release();

    const auto current = m_model->currentRow();
    const int column = std::max(0, m_view->currentIndex().column());
    if (current && *current >= first &&
        *current < first + static_cast<std::size_t>(m_model->rowCount())) {
        const QModelIndex index = m_model->index(static_cast<int>(*current - first), column);
        if (m_view->currentIndex() != index) {
            m_view->setCurrentIndex(index);
        }
    } else if (m_view->currentIndex().isValid()) {
        m_view->selectionModel()->clear();
    }
    m_syncing = false;
}

bool MeasurementGrid::moveCurrent(int key, Qt::KeyboardModifiers modifiers) {
    const auto current = m_model->currentRow();
    if (!current) {
        return false;
    }
    const std::size_t rows = m_model->tableRowCount();
    const auto page = static_cast<std::size_t>(m_model->windowRows());
    std::size_t row = *current;
    switch (key) {
        case Qt::Key_Up:
            row = row > 0 ? row - 1 : 0;
            break;
        case Qt::Key_Down:
            row = row + 1;
            break;
        case Qt::Key_PageUp:
            row = row > page ? row - page : 0;
            break;
        case Qt::Key_PageDown:
            row = row + page;
            break;
        case Qt::Key_Home:
            if (!(modifiers & Qt::ControlModifier)) {
                return false;
            }
            row = 0;
            break;
        case Qt::Key_End:
            if (!(modifiers & Qt::ControlModifier)) {
                return false;
            }
            row = rows - 1;
            break;
        default:
            return false;
    }
    // With Shift the move selects the rows it passes (for "Statistics…").
    if (modifiers & Qt::ShiftModifier) {
        m_model->extendSelectionTo(std::min(row, rows - 1));
    } else {
        m_model->clearSelection();
        m_model->setCurrentRow(std::min(row, rows - 1));
    }
    emit currentRowPicked(std::min(row, rows - 1));
    return true;
}

bool MeasurementGrid::tabStep(bool forward) {
    // Tab walks the cells row by row through the whole table, not only the rows the view holds;
    // past the last cell (Backtab: before the first) the focus goes on to the next control.
    const auto current = m_model->currentRow();
    const int lastColumn = MeasurementTableModel::ColumnCount - 1;
    const int column = m_view->currentIndex().isValid() ? m_view->currentIndex().column() : -1;
    if (current && column >= 0) {
        if (forward ? column < lastColumn : column > 0) {
            moveToCell(*current, column + (forward ? 1 : -1));
            return true;
        }
        if (forward && *current + 1 < m_model->tableRowCount()) {
            moveToCell(*current + 1, 0);
            return true;
        }
        if (!forward && *current > 0) {
            moveToCell(*current - 1, lastColumn);
            return true;
        }
    }
    focusNextPrevChild(forward);
    return true;
}

void MeasurementGrid::moveToCell(std::size_t row, int column) {
    m_model->setCurrentRow(row);
    const std::size_t first = m_model->firstRow();
    if (row >= first && row - first < static_cast<std::size_t>(m_model->rowCount())) {
        m_view->setCurrentIndex(m_model->index(static_cast<int>(row - first), column));
    }
}

bool MeasurementGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) {
        fitWindow();
    } else if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        // The view holds only the visible rows, so the wheel moves the window instead.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const int steps = wheel->angleDelta().y() / 40;  // three rows per notch
        if (steps != 0) {
            m_scroll->setValue(m_scroll->value() - steps);
        }
        return true;
    } else if (watched == m_view && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            return tabStep(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
        }
        if (moveCurrent(key->key(), key->modifiers())) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
