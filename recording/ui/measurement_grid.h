#pragma once

#include <QWidget>
#include <cstddef>

#include "recording/ui/measurement_table_model.h"

class QScrollBar;
class QTableView;

// The grid DBGrid1: a read-only QTableView over MeasurementTableModel, with a row indicator
// and its own vertical scroll bar over the whole table. The view itself only ever holds the
// rows that fit, so painting and following the newest reading cost the same at a thousand
// rows as at ten million. The current row follows every appended reading.
class MeasurementGrid : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 20;

    // store must outlive the grid.
    explicit MeasurementGrid(TableStore& store, QWidget* parent = nullptr);

    MeasurementTableModel* model() const { return m_model; }
    // The width that holds the column's header and every text it can hold (at least the
    // column's least width), and the texts now on screen.
    int fittingWidth(int column) const;
    QTableView* view() const { return m_view; }
    QScrollBar* scrollBar() const { return m_scroll; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitWindow();
    void syncFromModel();
    bool moveCurrent(int key, Qt::KeyboardModifiers modifiers);
    // Tab (forward) or Backtab: the next (previous) cell, or out of the grid past its ends.
    bool tabStep(bool forward);
    void moveToCell(std::size_t row, int column);

    MeasurementTableModel* m_model;
    QTableView* m_view;
    QScrollBar* m_scroll;
    bool m_syncing = false;
};
