#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class BoundedLog;
class HidLink;
class QLabel;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TJvHidDevice;

// A BoundedLog as a list model (HistoryListBox): rows are the log's lines, oldest first.
class BoundedLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit BoundedLogModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    // The log shown; null shows nothing. Not owned.
    void setLog(const BoundedLog* log);
    // Brings the rows up to the log: appended lines are inserted, dropped and cleared ones
    // removed, so the view keeps its place.
    void sync();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const BoundedLog* m_log = nullptr;
    std::uint64_t m_first = 0;  // line numbers the rows show: [m_first, m_end)
    std::uint64_t m_end = 0;
};

// The "HID devices" window: the device list with the cable selected (DevListBox), the event and
// report log (HistoryListBox), the frame logs (Memo1: nibbles, Memo2: bytes), and the link's
// buttons ReadBtn, SetFeature, ClearBtn, InfoBtn and Rescan. A device that cannot be opened for
// reading and writing says why under the list. The views follow the link while the window is
// shown; hidden, it costs nothing per report.
class HidDevicesWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "HID devices";
    static constexpr const char* kReadBtnOffToolTip =
        "Reads the cable of the other meter model; this meter's cable reads with \"HID Connect\"";
    static constexpr const char* kHotPlugOffText =
        "hot-plug off: press Rescan after plugging a device in or out";

    HidDevicesWindow(HidLink& link, QWidget* parent = nullptr);

    QListWidget* devListBox() const { return m_devList; }
    QListView* historyListBox() const { return m_history; }
    QPlainTextEdit* memo1() const { return m_memo1; }
    QPlainTextEdit* memo2() const { return m_memo2; }
    QPushButton* readBtn() const { return m_readBtn; }
    QPushButton* setFeatureBtn() const { return m_setFeature; }
    QPushButton* clearBtn() const { return m_clearBtn; }
    QPushButton* infoBtn() const { return m_infoBtn; }
    QPushButton* rescanBtn() const { return m_rescan; }
    // Why the selected device cannot be read, or empty.
    QLabel* accessLabel() const { return m_access; }
    // "hot-plug off" when the system's device notices are not watched.
    QLabel* hotPlugLabel() const { return m_hotPlug; }
    // "Device check…": asks for the program's device check (deviceCheckRequested).
    QLabel* deviceCheckLink() const { return m_deviceCheck; }

    // Brings every view up to the link now (otherwise done after the current event).
    void refresh();

public slots:
    void InfoBtnClick();

signals:
    // The "Device check…" link was followed.
    void deviceCheckRequested();

protected:
    void showEvent(QShowEvent* event) override;
    // Escape closes the window, as it closes the dialogs.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void scheduleRefresh();
    void refreshList();
    void refreshMemo(QPlainTextEdit* memo, const BoundedLog& log, std::uint64_t& drawnEnd);

    HidLink& m_link;
    QListWidget* m_devList = nullptr;
    QListView* m_history = nullptr;
    BoundedLogModel* m_historyModel = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QPlainTextEdit* m_memo2 = nullptr;
    QPushButton* m_readBtn = nullptr;
    QPushButton* m_setFeature = nullptr;
    QPushButton* m_clearBtn = nullptr;
    QPushButton* m_infoBtn = nullptr;
    QPushButton* m_rescan = nullptr;
    QLabel* m_access = nullptr;
    QLabel* m_hotPlug = nullptr;
    QLabel* m_deviceCheck = nullptr;
    std::vector<std::uint64_t> m_listedIds;
    int m_listedSelection = -2;
    std::uint64_t m_memo1End = 0;
    std::uint64_t m_memo2End = 0;
    bool m_refreshPending = false;
    bool m_historyBound = false;
};

// The read-only information of one listed device (InfoBtn).
class HidDeviceInfoDialog : public QDialog {
    Q_OBJECT
public:
    HidDeviceInfoDialog(const QString& caption, TJvHidDevice* device, QWidget* parent = nullptr);
    // "Caption: ..." and the other lines the dialog shows, one a line.
    static QString infoText(const QString& caption, TJvHidDevice* device);
};
