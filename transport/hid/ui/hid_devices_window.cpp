#include "transport/hid/ui/hid_devices_window.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>

#include "transport/hid/bounded_log.h"
#include "transport/hid/hid_cable_link.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/hid/ui/hid_link.h"

namespace {

QString fromLatin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Why the device's node does not open for reading and writing; empty when it does.
QString accessProblem(TJvHidDevice* device) {
    if (device == nullptr) {
        return QStringLiteral("the device could not be checked out");
    }
    if (device->ReadWriteAccess()) {
        return QString();
    }
    const std::string& node = device->PnPInfo().InterfacePath;
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QString();
    }
    return fromUtf8(hidAccessProblemText(node, errno));
}

}  // namespace

// --- BoundedLogModel ----------------------------------------------------------------------------

void BoundedLogModel::setLog(const BoundedLog* log) {
    beginResetModel();
    m_log = log;
    m_first = log ? log->firstNumber() : 0;
    m_end = log ? log->endNumber() : 0;
    endResetModel();
}

void BoundedLogModel::sync() {
    if (m_log == nullptr) {
        return;
    }
    const std::uint64_t first = m_log->firstNumber();
    const std::uint64_t end = m_log->endNumber();
    // Lines dropped at the top (the log is full, or it was cleared).
    const std::uint64_t dropUntil = std::min(std::max(first, m_first), m_end);
    if (dropUntil > m_first) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(dropUntil - m_first) - 1);
        m_first = dropUntil;
        endRemoveRows();
    }
    if (m_first == m_end) {
        m_first = m_end = first;  // nothing shown: start at the log's oldest kept line
    }
    if (end > m_end) {
        const int from = static_cast<int>(m_end - m_first);
        beginInsertRows(QModelIndex(), from, from + static_cast<int>(end - m_end) - 1);
        m_end = end;
        endInsertRows();
    }
}

int BoundedLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_end - m_first);
}

QVariant BoundedLogModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || m_log == nullptr || !index.isValid()) {
        return QVariant();
    }
    const std::uint64_t number = m_first + static_cast<std::uint64_t>(index.row());
    if (number < m_log->firstNumber() || number >= m_log->endNumber()) {
        return QVariant();
    }
    return fromLatin1(m_log->line(static_cast<std::size_t>(number - m_log->firstNumber())));
}

// --- HidDevicesWindow ---------------------------------------------------------------------------

HidDevicesWindow::HidDevicesWindow(HidLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), m_link(link) {
    setObjectName(QStringLiteral("HidDevicesWindow"));
    setWindowTitle(QString::fromLatin1(kTitle));
    resize(720, 520);

    auto button = [this](const char* caption, const char* name) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    m_devList = new QListWidget(this);
    m_devList->setObjectName(QStringLiteral("DevListBox"));
    m_access = new QLabel(this);
    m_access->setObjectName(QStringLiteral("AccessText"));
    m_access->setWordWrap(true);
    m_access->setStyleSheet(QStringLiteral("color: #b00000"));
    m_deviceCheck = new QLabel(
        QStringLiteral("<a href=\"device-check\">Device check\u2026</a> says why a cable stays "
                       "silent or cannot be opened"),
        this);
    m_deviceCheck->setObjectName(QStringLiteral("DeviceCheckLink"));
    m_deviceCheck->setWordWrap(true);
    connect(m_deviceCheck, &QLabel::linkActivated, this,
            [this](const QString&) { emit deviceCheckRequested(); });
    m_hotPlug = new QLabel(this);
    m_hotPlug->setObjectName(QStringLiteral("HotPlugText"));
    m_history = new QListView(this);
    m_history->setObjectName(QStringLiteral("HistoryListBox"));
    m_history->setUniformItemSizes(true);
    m_history->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_historyModel = new BoundedLogModel(this);
    m_history->setModel(m_historyModel);
    auto memo = [this](const char* name) {
        auto* m = new QPlainTextEdit(this);
        m->setObjectName(QString::fromLatin1(name));
        m->setReadOnly(true);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        m->setMaximumBlockCount(static_cast<int>(BoundedLog::kDefaultCapacity));
        return m;
    };
    m_memo1 = memo("Memo1");
    m_memo2 = memo("Memo2");
    m_readBtn = button("Read", "ReadBtn");
    m_readBtn->setCheckable(true);
    if (!m_link.readBtnServes()) {
        m_readBtn->setEnabled(false);
        m_readBtn->setToolTip(QString::fromLatin1(kReadBtnOffToolTip));
    }
    m_setFeature = button("SetFeature", "SetFeature");
    m_clearBtn = button("Clear", "ClearBtn");
    m_infoBtn = button("Info", "InfoBtn");
    m_rescan = button("Rescan", "Rescan");

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_readBtn, m_setFeature, m_clearBtn, m_infoBtn, m_rescan}) {
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Devices"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("History"), this), 0, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(m_devList, 1);
    left->addWidget(m_access);
    left->addWidget(m_hotPlug);
    left->addWidget(m_deviceCheck);
    grid->addLayout(left, 1, 0);
    grid->addWidget(m_history, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Frames (nibbles)"), this), 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Frames (bytes)"), this), 2, 1);
    grid->addWidget(m_memo1, 3, 0);
    grid->addWidget(m_memo2, 3, 1);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    // ReadBtn is a member of the top bar's group: the main window binds it there.
    connect(m_devList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (HidCableLink* cable = m_link.link()) {
            cable->select(row);
        }
    });
    connect(m_setFeature, &QPushButton::clicked, this, [this] {
        if (HidCableLink* cable = m_link.link()) {
            cable->SetFeatureClick();
        }
    });
    connect(m_clearBtn, &QPushButton::clicked, this, [this] {
        if (HidCableLink* cable = m_link.link()) {
            cable->ClearBtnClick();
        }
    });
    connect(m_infoBtn, &QPushButton::clicked, this, &HidDevicesWindow::InfoBtnClick);
    connect(m_rescan, &QPushButton::clicked, this, [this] { m_link.Rescan(); });
    connect(&m_link, &HidLink::changed, this, &HidDevicesWindow::scheduleRefresh);
}

void HidDevicesWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void HidDevicesWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HidDevicesWindow::scheduleRefresh() {
    // Reports come up to 82 frames a second: the views catch up once per turn of the event loop,
    // and only while they can be seen.
    if (m_refreshPending || !isVisible()) {
        return;
    }
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        if (isVisible()) {
            refresh();
        }
    });
}

void HidDevicesWindow::refresh() {
    HidCableLink* cable = m_link.link();
    m_hotPlug->setText(m_link.started() && !m_link.hotPlugActive()
                           ? QString::fromLatin1(kHotPlugOffText)
                           : m_link.startProblem());
    if (cable == nullptr) {
        return;
    }
    refreshList();
    if (!m_historyBound) {
        m_historyModel->setLog(&cable->history());
        m_historyBound = true;
    }
    const int before = m_historyModel->rowCount();
    m_historyModel->sync();
    if (m_historyModel->rowCount() != before && m_historyModel->rowCount() > 0) {
        // The newest line is selected, as each handler selects the line it adds.
        const QModelIndex last = m_historyModel->index(m_historyModel->rowCount() - 1);
        m_history->setCurrentIndex(last);
        m_history->scrollTo(last);
    }
    refreshMemo(m_memo1, cable->memo1(), m_memo1End);
    refreshMemo(m_memo2, cable->memo2(), m_memo2End);
}

void HidDevicesWindow::refreshList() {
    HidCableLink& cable = *m_link.link();
    std::vector<std::uint64_t> ids;
    ids.reserve(cable.entries().size());
    for (const HidCableLink::Entry& e : cable.entries()) {
        ids.push_back(e.id);
    }
    const bool listChanged = ids != m_listedIds;
    if (!listChanged && m_listedSelection == cable.selectedIndex()) {
        return;
    }
    {
        const QSignalBlocker block(m_devList);
        if (listChanged) {
            m_devList->clear();
            for (const HidCableLink::Entry& e : cable.entries()) {
                m_devList->addItem(fromLatin1(e.caption));
            }
            m_listedIds = std::move(ids);
        }
        m_devList->setCurrentRow(cable.selectedIndex());
    }
    m_listedSelection = cable.selectedIndex();
    const int selected = cable.selectedIndex();
    m_infoBtn->setEnabled(selected >= 0);
    m_access->setText(selected >= 0 ? accessProblem(HidCableBinding::jvDevice(
                                          cable.entries()[static_cast<std::size_t>(selected)]))
                                    : QString());
}

void HidDevicesWindow::refreshMemo(QPlainTextEdit* memo, const BoundedLog& log,
                                   std::uint64_t& drawnEnd) {
    if (drawnEnd < log.firstNumber()) {
        memo->clear();  // more came than the memo keeps: start at the oldest kept line
        drawnEnd = log.firstNumber();
    }
    for (; drawnEnd < log.endNumber(); ++drawnEnd) {
        memo->appendPlainText(
            fromLatin1(log.line(static_cast<std::size_t>(drawnEnd - log.firstNumber()))));
    }
}

void HidDevicesWindow::InfoBtnClick() {
    HidCableLink* cable = m_link.link();
    if (cable == nullptr || cable->selectedIndex() < 0) {
        return;
    }
    const HidCableLink::Entry& entry =
        cable->entries()[static_cast<std::size_t>(cable->selectedIndex())];
    HidDeviceInfoDialog dialog(fromLatin1(entry.caption), HidCableBinding::jvDevice(entry), this);
    dialog.exec();
}

// --- HidDeviceInfoDialog ------------------------------------------------------------------------

QString HidDeviceInfoDialog::infoText(const QString& caption, TJvHidDevice* device) {
    QStringList lines;
    lines << QStringLiteral("Caption: ") + caption;
    if (device == nullptr) {
        lines << QStringLiteral("The device could not be checked out.");
        return lines.join(QLatin1Char('\n'));
    }
    const THIDDAttributes& a = device->Attributes();
    auto hex4 = [](unsigned v) {
        return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
    };
    const QString problem = accessProblem(device);
    lines << QStringLiteral("VID/PID: ") + hex4(a.VendorID) + QLatin1Char(':') + hex4(a.ProductID)
          << QStringLiteral("Version: ") + hex4(a.VersionNumber)
          << QStringLiteral("Product: ") + fromUtf8(device->QueryProductText())
          << QStringLiteral("Serial: ") + fromUtf8(device->QuerySerialText())
          << QStringLiteral("Device node: ") + fromUtf8(device->PnPInfo().InterfacePath)
          << QStringLiteral("Sysfs identity: ") + fromUtf8(device->PnPInfo().DeviceInstance)
          << QStringLiteral("Input report length: %1 bytes")
                 .arg(device->QueryCaps().InputReportByteLength)
          << QStringLiteral("Read/write access: ") +
                 (problem.isEmpty() ? QStringLiteral("yes")
                                    : QStringLiteral("no (") + problem + QLatin1Char(')'))
          << QStringLiteral("Reading: ") +
                 (device->Reading() ? QStringLiteral("yes") : QStringLiteral("no"));
    return lines.join(QLatin1Char('\n'));
}

HidDeviceInfoDialog::HidDeviceInfoDialog(const QString& caption, TJvHidDevice* device,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("HidDeviceInfo"));
    setWindowTitle(QStringLiteral("HID device information"));
    auto* text = new QPlainTextEdit(infoText(caption, device), this);
    text->setObjectName(QStringLiteral("InfoText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setMinimumSize(640, 220);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(box);
}
