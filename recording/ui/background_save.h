#pragma once

#include <string>

#include "recording/data_files.h"
#include "recording/table_store.h"

class QWidget;

struct BackgroundSave {
    FileOutcome outcome;
    bool cancelled = false;
};

// Saves the table as it is now to name (the format by its extension, as saveTable chooses) on
// a thread of its own, from a snapshot of the rows, while the event loop goes on: the window
// paints and the meter is read and recorded meanwhile (the table only grows at its end; New
// or a load may even empty or replace it, the snapshot keeps its rows). After half a second a
// modal progress dialog with Cancel appears. Returns when the save has ended. A cancelled or
// failed save leaves the old file as it was.
BackgroundSave saveInBackground(QWidget* parent, const TableStore& table, const std::string& name);
