#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <optional>
#include <utility>

#include "recording/table_store.h"

// The measurement table as the grid DBGrid1 shows it: seven columns (Nval is not shown) read
// straight from the engine's TableStore, never copied. The view sees a window of the table, at
// most windowRows() rows from firstRow() on, so that the cost of painting and of following the
// newest reading does not grow with the table: a view over all ten million rows would keep
// per-row bookkeeping in its header and redo it on every append. MeasurementGrid moves the
// window with its own scroll bar. Rows of the model are positions within the window; the
// table row of a model row is firstRow() + row.
class MeasurementTableModel : public QAbstractTableModel, private TableObserver {
    Q_OBJECT

public:
    enum Column { ColNo, ColTime, ColFunction, ColValue, ColUnit, ColRange, ColAuto, ColumnCount };
    // The stored bytes of a cell, undecorated (Latin-1), for tests and copy.
    static constexpr int StoredTextRole = Qt::UserRole + 1;

    // Observes store until destroyed; store must outlive the model.
    explicit MeasurementTableModel(TableStore& store, QObject* parent = nullptr);
    ~MeasurementTableModel() override;

    const TableStore& store() const { return m_store; }
    std::size_t tableRowCount() const { return m_store.rowCount(); }

    // How many rows the view can show; at least 1.
    void setWindowRows(int rows);
    int windowRows() const { return m_windowRows; }
    // Moves the window; row is clamped so the window stays within the table.
    void setFirstRow(std::size_t row);
    std::size_t firstRow() const { return m_first; }
    // The highest first row: the window then ends with the table's last row.
    std::size_t lastFirstRow() const;

    // The current row (the row indicator's row), a table row; nullopt when the table is empty.
    std::optional<std::size_t> currentRow() const { return m_current; }
    // Sets the current row (clamped to the table) and moves the window just enough to show it.
    void setCurrentRow(std::size_t row);

    // The selected rows, first and last (table rows), when the user has selected more than the
    // current row (Shift with the arrow keys or a click); appended rows never join them.
    std::optional<std::pair<std::size_t, std::size_t>> selectedRows() const { return m_selection; }
    // Makes the current row the new end of the selection, which starts where the current row
    // was when the selection began (its anchor).
    void extendSelectionTo(std::size_t row);
    // Back to no selection.
    void clearSelection();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The column's least width in pixels (0: the view's default); the grid widens a column to
    // the widest of its possibleTexts.
    static int columnWidth(int column);
    // The widest texts a column can hold, as shown: No up to eight digits, every function and
    // range text the decoder gives; empty for columns whose least width holds them all.
    static QStringList possibleTexts(int column);
    // The font a column's cells are drawn in.
    static QFont columnFont(int column);

signals:
    // The table's row count, the window or the current row changed.
    void windowChanged();
    // The window is about to move down by rows (fewer than it holds) without changing size;
    // the dataChanged over the whole window that follows is that move, so a view may move its
    // pixels and repaint only the rows that came in.
    void windowShifting(int rows);
    // The selected rows changed.
    void selectionChanged();

private:
    void rowsAppended(std::size_t first, std::size_t count) override;
    void tableReset() override;

    int viewRowsFor(std::size_t first) const;
    std::size_t clampFirst(std::size_t first) const;
    void applyWindow(std::size_t first, std::optional<std::size_t> current);

    TableStore& m_store;
    int m_windowRows = 64;
    std::size_t m_first = 0;
    int m_viewRows = 0;  // rows the view currently knows of
    std::optional<std::size_t> m_current;
    std::optional<std::size_t> m_anchor;
    std::optional<std::pair<std::size_t, std::size_t>> m_selection;
};
