#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>

#include "recording/recorder.h"
#include "recording/table_store.h"

class MeasurementGrid;
class QAction;
class QActionGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class QWidget;
class RecallTimeDialog;
class StatisticsWindow;

// The user's side of recording: the "Function board" (GroupBox1), the "Record" menu, the
// recall-time window, the save and open dialogs and the print preview, all driving the
// engine's Recorder, TableStore and data files. The window creates one and puts its parts in
// place; every handler here carries the name the window publishes for it. The table and the
// recorder must outlive this object.
class RecordingControls : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kNothingToPrintText =
        "The table has no rows, so there is nothing to print.";

    // The file dialogs' filter: "Excel File(*.xls)", "XML(*.xml)", "Txt File(*.txt)".
    static QStringList fileFilters();
    // The save dialog's: those, then the analysis formats "CSV for analysis(*.csv)" and
    // "JSON Lines(*.jsonl)".
    static QStringList saveFileFilters();
    // The open dialog's filter: every data file first ("Data files (*.xls *.xml *.txt *.csv)"),
    // then each format the save dialog names that is read back (JSON Lines is not), then
    // "All files (*)" (a text file may bear any extension).
    static QStringList openFileFilters();
    // The extension a filter entry gives a bare name in the save dialog ("xml" for "XML(*.xml)");
    // "xls" for anything else.
    static QString suffixOfFilter(const QString& filter);

    // dialogParent is the window the boxes and dialogs belong to.
    RecordingControls(TableStore& table, Recorder& recorder, QWidget* dialogParent,
                      QObject* parent = nullptr);
    ~RecordingControls() override;

    // The grid DBGrid1 over the table (owned by parent).
    MeasurementGrid* createGrid(QWidget* parent);
    // Fills the window's empty "Function board" with its check boxes, edit and speed buttons.
    void populateFunctionBoard(QGroupBox* board);
    // Adds the record-limit radio group, the hidden "New" and "Save" items, "Recall time..." and
    // "Statistics…".
    void populateRecordMenu(QMenu* menu);
    // What New does after the table is emptied: clear the trend chart and show its page number.
    void setChartClear(std::function<void()> clear) { m_chartClear = std::move(clear); }

    // The controls, for the window and the tests (null before they are populated).
    QCheckBox* repeatSet() const { return m_repeatSet; }
    QCheckBox* recordSI() const { return m_recordSI; }
    QLineEdit* recordSITime() const { return m_recordSITime; }
    QToolButton* recordNew() const { return m_recordNew; }
    QToolButton* saveAs() const { return m_saveAs; }
    QToolButton* openDataFiles() const { return m_openDataFiles; }
    QToolButton* majPrint() const { return m_majPrint; }
    QAction* limitAction(RecordLimitItem item) const;
    QAction* newAction() const { return m_new1; }
    QAction* saveAction() const { return m_save1; }
    QAction* recallTimeAction() const { return m_recallTime; }
    QAction* statisticsAction() const { return m_statistics; }
    QTimer* trecord() const { return m_trecord; }
    // The recall-time window, created on first use.
    RecallTimeDialog* recallTimeDialog();
    // The save dialog, then the save beside the window (see saveInBackground) and its box;
    // true when the table was written. A second save while one runs is refused (false).
    bool saveTableAs();
    bool saving() const { return m_saving; }
    // The statistics window of "Statistics…", created on first use.
    StatisticsWindow* statisticsWindow();

public slots:
    // New: " Record deleted ", then the table is emptied, numbering restarts, the chart clears.
    void RecordNewClick();
    // Save dialog, then the text file or the XML data packet, then the result box.
    void saveasClick();
    // Open dialog, then the file's rows are appended (text) or replace the table (".xml").
    void SpeedButton2Click();
    // Print preview of the report; with an empty table, a box that says there is nothing to
    // print.
    void MajPrintClick();
    // The record-limit menu items.
    void selectRecordLimit(RecordLimitItem item);
    // The recording step failed on the text of RecordSITime (not on the meter's frame): the
    // edit is marked and carries the message in its tool tip until its text is a number again.
    // Shown once per failure text, never as a box per frame.
    void noteRecordingFailure(const QString& message);
    // One 100 ms tick of Trecord, which runs while Sampling Interval is checked.
    void TrecordTimer();

signals:
    // The table was written to a file (either format).
    void tableSaved();
    // The table's rows were replaced as a whole: by an XML data packet's, or by none (New).
    void tableReplaced();
    // New has emptied the table and restarted the numbering.
    void recordNewDone();
    // The preview wrote the report as a PDF file (its full name).
    void reportWritten(const QString& fileName);

private:
    void repaintWindow();

    TableStore& m_table;
    Recorder& m_recorder;
    QWidget* m_dialogParent;
    std::function<void()> m_chartClear;
    QString m_lastFolder;

    QCheckBox* m_repeatSet = nullptr;
    QCheckBox* m_recordSI = nullptr;
    QLineEdit* m_recordSITime = nullptr;
    QToolButton* m_recordNew = nullptr;
    QToolButton* m_saveAs = nullptr;
    QToolButton* m_openDataFiles = nullptr;
    QToolButton* m_majPrint = nullptr;
    QActionGroup* m_limitGroup = nullptr;
    std::array<QAction*, kRecordLimitChoices.size()> m_limitActions{};
    QAction* m_new1 = nullptr;
    QAction* m_save1 = nullptr;
    QAction* m_recallTime = nullptr;
    QAction* m_statistics = nullptr;
    QTimer* m_trecord;
    RecallTimeDialog* m_recallDialog = nullptr;
    QPointer<StatisticsWindow> m_statisticsWindow;  // observes the table: goes with this
    QPointer<MeasurementGrid> m_grid;
    bool m_saving = false;
};
