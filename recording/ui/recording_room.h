#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string_view>

#include "meter/clock.h"
#include "recording/journal.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

#include "recording/ui/measurement_grid.h"

class QGroupBox;
class QMenu;
class QString;
class QTimer;
class QWidget;
class RecordingControls;

// The measurement table cds1 with its recording rules and controls, as the window holds them
// for the whole run: the table (empty at start), the recorder on the system clock, the
// recording step the decoder calls, and the controls. The window puts the parts in place with
// install() and hands recordingStep() to its reading consumer.
class RecordingRoom {
public:
    // window is the parent of the boxes and dialogs. Never fails. Destroying the room destroys
    // the grid too (it reads the table).
    explicit RecordingRoom(QWidget* window);
    ~RecordingRoom();
    RecordingRoom(const RecordingRoom&) = delete;
    RecordingRoom& operator=(const RecordingRoom&) = delete;

    TableStore& table() { return m_table; }
    Recorder& recorder() { return m_recorder; }
    RecordingControls& controls() { return *m_controls; }
    // The decoder's recording step (step 13): appends a row when the reading is admitted.
    ReadingConsumer& recordingStep();

    // Fills the "Function board" and the "Record" menu and returns the grid, made a child of
    // gridParent for the window to place.
    MeasurementGrid* install(QGroupBox* functionBoard, QMenu* recordMenu, QWidget* gridParent);
    // Where a failed conversion of the recording step goes (the window's conversion box).
    void setConversionFailure(std::function<void(std::string_view)> report);
    // What New does to the trend chart: clear it and show its page number.
    void setChartClear(std::function<void()> clear);
    // Whether the table holds rows recorded since it was last saved (New, a successful save or
    // an XML packet that replaced the rows clear it; rows recorded while a save ran stay
    // unsaved). Rows that came from a file are in that file already. Never fails.
    bool hasUnsavedRows() const;

    // The session's recording journal (a sink of the recorder): every recorded row reaches
    // the disk within a second, in $XDG_STATE_HOME/halvern/journal.
    JournalSink& journal() { return *m_journal; }
    // The clean end (the window closes with its rows saved or discarded): the journal goes.
    void endCleanly();
    // While paused, readings are not recorded (the exit's last save takes the table as it is).
    void setRecordingPaused(bool paused);
    // Appends rows recovered from a crashed session's journal as unsaved rows of this session
    // (journaled again, counted as unsaved). Returns the rows appended.
    std::size_t restoreRows(const TableStore& rows);
    // Where the journal's trouble is shown (the LCD panel's notice): the text names the path
    // and the system's reason, empty when writing works (again). Checked every second.
    void setJournalNotice(std::function<void(const QString& text)> show);

private:
    class Step;
    class UnsavedRows;
    void checkJournal();

    TableStore m_table;
    SystemClock m_clock;
    Recorder m_recorder;
    std::unique_ptr<UnsavedRows> m_unsaved;
    std::unique_ptr<JournalSink> m_journal;
    std::unique_ptr<Step> m_step;
    std::unique_ptr<RecordingControls> m_controls;
    QPointer<MeasurementGrid> m_grid;  // observes the table, so it goes first
    QTimer* m_journalCheck = nullptr;
    std::function<void(const QString&)> m_journalNotice;
    bool m_journalFailing = false;
};
