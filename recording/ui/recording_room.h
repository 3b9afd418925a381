#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string_view>

#include "meter/clock.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

#include "recording/ui/measurement_grid.h"

class QGroupBox;
class QMenu;
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
    // an XML packet that replaced the rows clear it). Rows that came from a file are in that
    // file already. Never fails.
    bool hasUnsavedRows() const { return m_unsaved && !m_table.empty(); }

private:
    class Step;

    TableStore m_table;
    SystemClock m_clock;
    Recorder m_recorder;
    std::unique_ptr<Step> m_step;
    std::unique_ptr<RecordingControls> m_controls;
    QPointer<MeasurementGrid> m_grid;  // observes the table, so it goes first
    bool m_unsaved = false;
};
