#include "recording/ui/statistics_window.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The columns of the statistics text, as the window titles them.
const char* const kTitles[] = {"Quantity", "Unit",         "Count",          "Minimum",
                               "Maximum",  "Mean",         "Std. deviation", "First",
                               "Last",     "Duration (s)", "Overloads"};
constexpr int kColumns = static_cast<int>(std::size(kTitles));

}  // namespace

StatisticsWindow::StatisticsWindow(TableStore& table, QWidget* parent)
    : QDialog(parent),
      m_table(table),
      m_stats(table),
      m_scope(new QLabel(this)),
      m_grid(new QTableWidget(0, kColumns, this)),
      m_copy(new QPushButton(QStringLiteral("Copy"), this)),
      m_update(new QTimer(this)) {
    setObjectName(QStringLiteral("Statistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    setModal(false);
    m_grid->setObjectName(QStringLiteral("StatisticsGrid"));
    QStringList titles;
    for (const char* t : kTitles) {
        titles << QString::fromLatin1(t);
    }
    m_grid->setHorizontalHeaderLabels(titles);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_copy->setObjectName(QStringLiteral("StatisticsCopy"));
    m_copy->setToolTip(QStringLiteral("Copy the table as tab-separated text"));
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(statisticsText()); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_copy, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scope);
    layout->addWidget(m_grid, 1);
    layout->addWidget(buttons);
    resize(980, 220);

    // A recording adds rows many times a second; the window shows them a few times a second.
    m_update->setInterval(200);
    m_update->setSingleShot(true);
    connect(m_update, &QTimer::timeout, this, &StatisticsWindow::updateNow);
    m_table.addObserver(this);
    recompute();
}

StatisticsWindow::~StatisticsWindow() {
    m_table.removeObserver(this);
}

void StatisticsWindow::setRowRange(std::optional<std::pair<std::size_t, std::size_t>> rows) {
    m_range = rows;
    recompute();
}

void StatisticsWindow::rowsAppended(std::size_t first, std::size_t count) {
    if (m_range) {
        return;  // a range of rows does not grow
    }
    m_stats.add(first, count);
    if (!m_update->isActive()) {
        m_update->start();
    }
}

void StatisticsWindow::tableReset() {
    m_range.reset();  // its rows are gone
    recompute();
}

void StatisticsWindow::recompute() {
    m_stats.clear();
    if (m_range && (m_range->first > m_range->second || m_range->second >= m_table.rowCount())) {
        m_range.reset();
    }
    if (m_range) {
        m_stats.add(m_range->first, m_range->second - m_range->first + 1);
    } else {
        m_stats.add(0, m_table.rowCount());
    }
    updateNow();
}

void StatisticsWindow::updateNow() {
    m_update->stop();
    showStatistics(m_stats);
}

void StatisticsWindow::showStatistics(const TableStatistics& stats) {
    const QLocale locale;
    if (m_range) {
        m_scope->setText(QStringLiteral("Rows %1 to %2 of the table")
                             .arg(locale.toString(static_cast<qulonglong>(m_range->first + 1)),
                                  locale.toString(static_cast<qulonglong>(m_range->second + 1))));
    } else {
        m_scope->setText(QStringLiteral("All %1 rows of the table")
                             .arg(locale.toString(static_cast<qulonglong>(stats.rowsAdded()))));
    }
    const QStringList lines = statisticsText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    m_grid->setRowCount(static_cast<int>(lines.size()) - 1);
    for (int r = 1; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(QLatin1Char('\t'));
        for (int c = 0; c < kColumns && c < cells.size(); ++c) {
            QTableWidgetItem* item = m_grid->item(r - 1, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                m_grid->setItem(r - 1, c, item);
            }
            if (item->text() != cells[c]) {
                item->setText(cells[c]);
            }
            const bool number = c >= 2 && c != 7 && c != 8;  // not quantity, unit, first, last
            item->setTextAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
    }
}

QString StatisticsWindow::statisticsText() const {
    return QString::fromStdString(m_stats.text());
}
