#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>
#include <utility>

#include "recording/table_statistics.h"
#include "recording/table_store.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// "Record" > "Statistics…": the statistics per quantity and unit of the whole table, or of a
// range of its rows, in a window of its own that stays open beside the main window and follows
// the recording. Each recorded row is added as it comes (constant cost); the window shows the
// result at most five times a second. "Copy" puts the table on the clipboard as the
// tab-separated text halvern stats prints. The table must outlive the window.
class StatisticsWindow : public QDialog, private TableObserver {
    Q_OBJECT

public:
    explicit StatisticsWindow(TableStore& table, QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    // The rows counted: every row of the table (nullopt), or the rows first .. last, which then
    // do not grow with the recording. Recomputes at once.
    void setRowRange(std::optional<std::pair<std::size_t, std::size_t>> rows);
    // The statistics as shown, as text (what "Copy" copies).
    QString statisticsText() const;
    // Shows what was added since the last update now, instead of at the next tick.
    void updateNow();

    QTableWidget* tableWidget() const { return m_grid; }
    QPushButton* copyButton() const { return m_copy; }
    QLabel* scopeLabel() const { return m_scope; }

private:
    void rowsAppended(std::size_t first, std::size_t count) override;
    void tableReset() override;
    void recompute();
    void showStatistics(const TableStatistics& stats);

    TableStore& m_table;
    TableStatistics m_stats;
    std::optional<std::pair<std::size_t, std::size_t>> m_range;
    QLabel* m_scope;
    QTableWidget* m_grid;
    QPushButton* m_copy;
    QTimer* m_update;
};
