#pragma once

#include <QWidget>

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
    QTableView* view() const { return m_view; }
    QScrollBar* scrollBar() const { return m_scroll; }

signals:
    // The user made a table row current (a click or a key); not sent when the grid follows
    // the newest reading or is moved by setCurrentRow.
    void currentRowPicked(std::size_t row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitWindow();
    void syncFromModel();
    bool moveCurrent(int key, Qt::KeyboardModifiers modifiers);

    MeasurementTableModel* m_model;
    QTableView* m_view;
    QScrollBar* m_scroll;
    bool m_syncing = false;
};
