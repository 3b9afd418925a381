#include "recording/ui/measurement_table_model.h"

#include <QDate>
#include <QFont>
#include <QLocale>
#include <QPalette>
#include <algorithm>
#include <array>

#include "meter/reading_texts.h"
#include "recording/ui/glyph_text.h"

namespace {

struct ColumnInfo {
    Field field;
    const char* title;
    int width;
    int glyphPixels;  // 0: the grid font; otherwise the glyph font at this height
};

// The grid's columns in order: DBGrid1 leaves Nval out.
constexpr std::array<ColumnInfo, MeasurementTableModel::ColumnCount> kColumns{{
    {Field::No, "No", 39, 0},
    {Field::Time, "Time", 70, 0},
    {Field::DcAc, "Function", 43, 12},
    {Field::Value, "Value", 80, 16},
    {Field::Unit, "Unit", 50, 12},
    {Field::Range, "Range", 50, 14},
    {Field::Auto, "Auto/Manu", 64, 0},  // the grid's default column width
}};

// The full date and time of a row's moment, for the Time cell's tool tip: the date in the
// user's words, the time to the millisecond and the offset from UTC in force then.
QString fullDateTimeText(const WallTime& moment) {
    int ms = 0;
    const LocalDateTime local = localDateTimeOf(moment, &ms);
    const int offsetMinutes = moment.utcOffsetSeconds / 60;
    const int absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return QStringLiteral("%1, %2:%3:%4.%5 (UTC%6%7:%8)")
        .arg(QLocale().toString(QDate(local.year, local.month, local.day), QLocale::LongFormat))
        .arg(local.hour, 2, 10, QLatin1Char('0'))
        .arg(local.minute, 2, 10, QLatin1Char('0'))
        .arg(local.second, 2, 10, QLatin1Char('0'))
        .arg(ms, 3, 10, QLatin1Char('0'))
        .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(absMinutes / 60, 2, 10, QLatin1Char('0'))
        .arg(absMinutes % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

MeasurementTableModel::MeasurementTableModel(TableStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {
    m_first = clampFirst(lastFirstRow());
    m_viewRows = viewRowsFor(m_first);
    if (!m_store.empty()) {
        m_current = m_store.rowCount() - 1;
    }
    m_store.addObserver(this);
}

MeasurementTableModel::~MeasurementTableModel() {
    m_store.removeObserver(this);
}

int MeasurementTableModel::columnWidth(int column) {
    return column >= 0 && column < ColumnCount ? kColumns[static_cast<std::size_t>(column)].width
                                               : 0;
}

QStringList MeasurementTableModel::possibleTexts(int column) {
    QStringList texts;
    switch (column) {
        case ColNo:
            texts << QStringLiteral("99999999");  // the record limits reach 10,000,001 rows
            break;
        case ColFunction:
            for (std::string_view text : kDecoderFunctionTexts) {
                texts << glyphDisplayText(text);
            }
            break;
        case ColRange:
            for (std::string_view text : kDecoderRangeTexts) {
                texts << glyphDisplayText(text);
            }
            break;
        default:
            break;
    }
    return texts;
}

QFont MeasurementTableModel::columnFont(int column) {
    if (column < 0 || column >= ColumnCount) {
        return arialStandInFont(12);
    }
    const int glyphPixels = kColumns[static_cast<std::size_t>(column)].glyphPixels;
    return glyphPixels > 0 ? glyphStandInFont(glyphPixels) : arialStandInFont(12);
}

std::size_t MeasurementTableModel::lastFirstRow() const {
    const std::size_t rows = m_store.rowCount();
    const auto window = static_cast<std::size_t>(m_windowRows);
    return rows > window ? rows - window : 0;
}

std::size_t MeasurementTableModel::clampFirst(std::size_t first) const {
    return std::min(first, lastFirstRow());
}

int MeasurementTableModel::viewRowsFor(std::size_t first) const {
    const std::size_t rows = m_store.rowCount();
    if (first >= rows) {
        return 0;
    }
    return static_cast<int>(std::min(rows - first, static_cast<std::size_t>(m_windowRows)));
}

void MeasurementTableModel::applyWindow(std::size_t first, std::optional<std::size_t> current) {
    const int oldRows = m_viewRows;
    const int newRows = viewRowsFor(first);
    const bool shifted = first != m_first;
    // The row header shows only the indicator, so it changes only when the indicator's place
    // in the window does. While the grid follows the newest reading the window and the current
    // row move together and the header stays as it is; telling the view otherwise would make it
    // lay out all its items again on every appended row.
    const auto indicatorAt = [&](std::size_t windowFirst, std::optional<std::size_t> row) {
        return row && *row >= windowFirst ? std::optional<std::size_t>(*row - windowFirst)
                                          : std::nullopt;
    };
    const bool indicatorMoved = indicatorAt(first, current) != indicatorAt(m_first, m_current);
    if (newRows == oldRows && first > m_first &&
        first - m_first < static_cast<std::size_t>(newRows)) {
        emit windowShifting(static_cast<int>(first - m_first));
    }
    if (newRows > oldRows) {
        beginInsertRows({}, oldRows, newRows - 1);
        m_first = first;
        m_viewRows = newRows;
        endInsertRows();
    } else if (newRows < oldRows) {
        beginRemoveRows({}, newRows, oldRows - 1);
        m_first = first;
        m_viewRows = newRows;
        endRemoveRows();
    } else {
        m_first = first;
    }
    m_current = current;
    if (newRows > 0 && shifted) {
        emit dataChanged(index(0, 0), index(newRows - 1, ColumnCount - 1));
    }
    if (newRows > 0 && indicatorMoved) {
        emit headerDataChanged(Qt::Vertical, 0, newRows - 1);
    }
    emit windowChanged();
}

void MeasurementTableModel::setWindowRows(int rows) {
    rows = std::max(rows, 1);
    if (rows == m_windowRows) {
        return;
    }
    m_windowRows = rows;
    // Keep the current row in view: it is the newest reading while the grid follows.
    std::size_t first = clampFirst(m_first);
    if (m_current) {
        const auto window = static_cast<std::size_t>(rows);
        if (*m_current < first) {
            first = *m_current;
        } else if (*m_current >= first + window) {
            first = *m_current + 1 - window;
        }
    }
    applyWindow(clampFirst(first), m_current);
}

void MeasurementTableModel::setFirstRow(std::size_t row) {
    const std::size_t first = clampFirst(row);
    if (first != m_first) {
        applyWindow(first, m_current);
    }
}

void MeasurementTableModel::setCurrentRow(std::size_t row) {
    if (m_store.empty()) {
        return;
    }
    row = std::min(row, m_store.rowCount() - 1);
    std::size_t first = m_first;
    const auto window = static_cast<std::size_t>(m_windowRows);
    if (row < first) {
        first = row;
    } else if (row >= first + window) {
        first = row + 1 - window;
    }
    if (first != m_first || row != m_current) {
        applyWindow(clampFirst(first), row);
    }
}

void MeasurementTableModel::extendSelectionTo(std::size_t row) {
    if (m_store.empty()) {
        return;
    }
    row = std::min(row, m_store.rowCount() - 1);
    if (!m_anchor) {
        m_anchor = m_current.value_or(row);
    }
    const auto selection = std::make_pair(std::min(*m_anchor, row), std::max(*m_anchor, row));
    setCurrentRow(row);
    if (selection != m_selection) {
        m_selection = selection;
        if (m_viewRows > 0) {
            emit dataChanged(index(0, 0), index(m_viewRows - 1, ColumnCount - 1),
                             {Qt::BackgroundRole, Qt::ForegroundRole});
        }
        emit selectionChanged();
    }
}

void MeasurementTableModel::clearSelection() {
    m_anchor.reset();
    if (m_selection) {
        m_selection.reset();
        if (m_viewRows > 0) {
            emit dataChanged(index(0, 0), index(m_viewRows - 1, ColumnCount - 1),
                             {Qt::BackgroundRole, Qt::ForegroundRole});
        }
        emit selectionChanged();
    }
}

void MeasurementTableModel::rowsAppended(std::size_t, std::size_t) {
    // The grid follows the newest reading: the last row becomes current, at the window's end.
    applyWindow(lastFirstRow(), m_store.rowCount() - 1);
}

void MeasurementTableModel::tableReset() {
    const bool hadSelection = m_selection.has_value();
    m_anchor.reset();
    m_selection.reset();
    beginResetModel();
    m_first = lastFirstRow();
    m_viewRows = viewRowsFor(m_first);
    m_current = m_store.empty() ? std::nullopt : std::optional<std::size_t>(m_store.rowCount() - 1);
    endResetModel();
    emit windowChanged();
    if (hadSelection) {
        emit selectionChanged();
    }
}

int MeasurementTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_viewRows;
}

int MeasurementTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MeasurementTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_viewRows || index.column() >= ColumnCount) {
        return {};
    }
    const ColumnInfo& column = kColumns[static_cast<std::size_t>(index.column())];
    const std::size_t row = m_first + static_cast<std::size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case StoredTextRole:
            if (column.field == Field::No) {
                const auto no = m_store.no(row);
                return no ? QString::number(*no) : QString();
            }
            if (role == Qt::DisplayRole && column.glyphPixels > 0) {
                return glyphDisplayText(m_store.text(row, column.field));
            }
            return plainText(m_store.text(row, column.field));
        case Qt::BackgroundRole:
        case Qt::ForegroundRole:
            if (m_selection && row >= m_selection->first && row <= m_selection->second) {
                return QPalette().brush(role == Qt::BackgroundRole ? QPalette::Highlight
                                                                   : QPalette::HighlightedText);
            }
            return {};
        case Qt::ToolTipRole:
            // Rows loaded from files and recalled rows have a time of day only.
            if (column.field == Field::Time) {
                if (const WallTime moment = m_store.stamp(row); moment.known()) {
                    return fullDateTimeText(moment);
                }
            }
            return {};
        case Qt::FontRole:
            return columnFont(index.column());
        case Qt::TextAlignmentRole:
            if (column.field == Field::Time) {
                return QVariant::fromValue(Qt::AlignCenter);
            }
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant MeasurementTableModel::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation == Qt::Vertical) {
        // The row indicator: an arrow on the current row, nothing elsewhere.
        if (role == Qt::DisplayRole && m_current &&
            m_first + static_cast<std::size_t>(section) == *m_current) {
            return QStringLiteral("\u25B6");
        }
        if (role == Qt::DisplayRole) {
            return QString();
        }
        if (role == Qt::FontRole) {
            return glyphStandInFont(8);
        }
        return {};
    }
    if (section < 0 || section >= ColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kColumns[static_cast<std::size_t>(section)].title);
    }
    if (role == Qt::FontRole) {
        return arialStandInFont(11);
    }
    return {};
}

Qt::ItemFlags MeasurementTableModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
