#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

class TableStore;

// An output of recorded rows: the file written as the log goes, standard output, the journal,
// the analysis formats, a broker. The recorder tells every sink of every row it appends, on the
// thread that reads the meter, right after the append; a sink must neither block nor throw (a
// sink that writes to a disk or a network hands the row to a thread of its own). Rows loaded
// from files are never told: they are on disk already.
class RowSink {
public:
    virtual ~RowSink() = default;

    // The reading just recorded is row `row` of `table` (its last row).
    virtual void rowRecorded(const TableStore& table, std::size_t row) = 0;
    // The rows told so far left the table (New, a load that replaced it): what follows is a
    // new run of rows, numbered from 1 again.
    virtual void rowsDiscarded() {}
    // The rows told so far were written to a file by a save.
    virtual void rowsSaved() {}
    // A batch of input from the meter has been handled (up to a few frames): rows told so far
    // are to be made durable now, where the sink does so per batch.
    virtual void batchEnd() {}
    // The recording ends cleanly: write out whatever is pending. Called once.
    virtual void finish() {}
};

// The recorder's sinks, told in the order they were added. Sinks are not owned; add them
// before the first row (adding allocates, telling does not).
class RowSinkList final : public RowSink {
public:
    void add(RowSink& sink) { m_sinks.push_back(&sink); }
    void remove(RowSink& sink) { std::erase(m_sinks, &sink); }
    bool empty() const { return m_sinks.empty(); }

    void rowRecorded(const TableStore& table, std::size_t row) override {
        for (RowSink* s : m_sinks) {
            s->rowRecorded(table, row);
        }
    }
    void rowsDiscarded() override {
        for (RowSink* s : m_sinks) {
            s->rowsDiscarded();
        }
    }
    void rowsSaved() override {
        for (RowSink* s : m_sinks) {
            s->rowsSaved();
        }
    }
    void batchEnd() override {
        for (RowSink* s : m_sinks) {
            s->batchEnd();
        }
    }
    void finish() override {
        for (RowSink* s : m_sinks) {
            s->finish();
        }
    }

private:
    std::vector<RowSink*> m_sinks;
};
