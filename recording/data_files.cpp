#include "recording/data_files.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "recording/analysis_files.h"
#include "recording/byte_stream.h"
#include "recording/formats.h"

namespace {

FileOutcome saveFailed(const std::string& name, int error) {
    return {false, "Could not save table to specified file: " + name, false,
            error != 0 ? std::strerror(error) : "the file could not be written"};
}

FileOutcome loadFailed(std::string reason) {
    return {false, std::string(kLoadFailedMessage), false, std::move(reason)};
}

// Reads a packet into a fresh table and hands it over only when all of it is valid.
bool loadPacket(ByteSource& in, TableStore& table, TableStore& fresh,
                std::string* reason = nullptr) {
    if (!readTablePacket(in, fresh, reason)) {
        return false;
    }
    table.replaceWith(std::move(fresh));
    return true;
}

class FileCloser {
public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    ~FileCloser() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int m_fd;
};

}  // namespace

void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list) {
    std::vector<std::string> items;
    if (!separator.empty()) {
        std::size_t at;
        while ((at = text.find(separator)) != std::string_view::npos) {
            items.emplace_back(text.substr(0, at));
            text.remove_prefix(at + separator.size());
        }
    }
    items.emplace_back(text);
    list = std::move(items);
}

bool isPacketName(std::string_view name) {
    const auto dot = name.find_last_of('.');
    const auto slash = name.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) {
        return false;
    }
    return name.substr(dot) == ".xml";
}

namespace {

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) {
        return false;
    }
    name.remove_prefix(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != suffix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

DataFormat dataFormatOfName(std::string_view name) {
    if (isPacketName(name)) {
        return DataFormat::Packet;
    }
    const auto slash = name.find_last_of('/');
    const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (endsWithIgnoringCase(base, ".csv")) {
        return DataFormat::Csv;
    }
    if (endsWithIgnoringCase(base, ".jsonl")) {
        return DataFormat::JsonLines;
    }
    return DataFormat::Text;
}

FileOutcome SaveTableText(const TableStore& table, const std::string& name) {
    int error = 0;
    if (!writeFileReplacing(
            name, [&](ByteSink& out) { writeTableText(table, out); }, &error)) {
        return saveFailed(name, error);
    }
    return {true, "save table to specified file: " + name + " Scuss!"};
}

FileOutcome saveTablePacket(const TableStore& table, const std::string& name) {
    int error = 0;
    if (!writeFileReplacing(
            name, [&](ByteSink& out) { writeTablePacket(table, out); }, &error)) {
        return saveFailed(name, error);
    }
    return {true, {}};
}

FileOutcome saveTableCsv(const TableStore& table, const std::string& name) {
    int error = 0;
    if (!writeFileReplacing(
            name, [&](ByteSink& out) { writeTableCsv(table, out); }, &error)) {
        return saveFailed(name, error);
    }
    return {true, "save table to specified file: " + name + " Scuss!"};
}

FileOutcome saveTableJsonLines(const TableStore& table, const std::string& name) {
    int error = 0;
    if (!writeFileReplacing(
            name, [&](ByteSink& out) { writeTableJsonLines(table, out); }, &error)) {
        return saveFailed(name, error);
    }
    return {true, "save table to specified file: " + name + " Scuss!"};
}

FileOutcome saveTable(const TableStore& table, const std::string& name) {
    switch (dataFormatOfName(name)) {
        case DataFormat::Packet:
            return saveTablePacket(table, name);
        case DataFormat::Csv:
            return saveTableCsv(table, name);
        case DataFormat::JsonLines:
            return saveTableJsonLines(table, name);
        case DataFormat::Text:
            break;
    }
    return SaveTableText(table, name);
}

FileOutcome LoadDataFile(const std::string& name, TableStore& table, bool clearFirst,
                         const LoadProgressFn& progress) {
    const DataFormat format = dataFormatOfName(name);
    const bool packet = format == DataFormat::Packet;
    if (format == DataFormat::JsonLines) {
        // Written for other tools; the table is never read back from it.
        return loadFailed("JSON Lines files are written for other tools and not read");
    }
    if (clearFirst && !packet) {
        table.clear();
    }
    std::uint64_t size = 0;
    std::string reason;
    const int fd = openForReading(name, &size, &reason);
    if (fd < 0) {
        return loadFailed(std::move(reason));
    }
    FileCloser closer(fd);
    bool ok = false;
    bool cancelled = false;
    // Outside the guard, so that its notice is never given while an exception unwinds.
    TableStore::AppendBatch batch(table);
    try {
        ByteSource in(fd);
        TableStore fresh;
        const std::size_t rowsBefore = table.rowCount();
        in.setBeforeRead([&](std::uint64_t bytesRead) {
            // The rows of the blocks read so far go to the view before the next block is
            // read, so that it shows the load growing.
            batch.flush();
            if (!progress) {
                return true;
            }
            const std::size_t rows =
                packet ? fresh.rowCount()
                       : table.rowCount() - std::min(rowsBefore, table.rowCount());
            return progress(LoadProgress{rows, bytesRead, size});
        });
        if (packet) {
            ok = loadPacket(in, table, fresh, &reason);
        } else if (format == DataFormat::Csv && startsWithAnalysisCsvHeader(in.available())) {
            ok = readTableCsv(in, table, &reason);
        } else {
            ok = readTableText(in, table, &reason);
        }
        cancelled = in.cancelled();
    } catch (const std::bad_alloc&) {
        // Out of memory: the load fails like any other, and the rows posted before stay.
        ok = false;
        reason = "not enough memory";
    }
    try {
        batch.flush();
    } catch (const std::bad_alloc&) {
        ok = false;
        reason = "not enough memory";
    }
    if (cancelled) {
        return {false, {}, true};
    }
    return ok ? FileOutcome{true, {}} : loadFailed(std::move(reason));
}

std::string tableTextBytes(const TableStore& table) {
    std::string out;
    {
        ByteSink sink(out);
        writeTableText(table, sink);
        sink.flush();
    }
    return out;
}

std::string tablePacketBytes(const TableStore& table) {
    std::string out;
    {
        ByteSink sink(out);
        writeTablePacket(table, sink);
        sink.flush();
    }
    return out;
}

bool loadTextBytes(std::string_view bytes, TableStore& table, std::string* reason) {
    ByteSource in(bytes);
    return readTableText(in, table, reason);
}

bool loadPacketBytes(std::string_view bytes, TableStore& table, std::string* reason) {
    ByteSource in(bytes);
    TableStore fresh;
    return loadPacket(in, table, fresh, reason);
}

std::string tableCsvBytes(const TableStore& table) {
    std::string out;
    {
        ByteSink sink(out);
        writeTableCsv(table, sink);
        sink.flush();
    }
    return out;
}

std::string tableJsonLinesBytes(const TableStore& table) {
    std::string out;
    {
        ByteSink sink(out);
        writeTableJsonLines(table, sink);
        sink.flush();
    }
    return out;
}

bool loadCsvBytes(std::string_view bytes, TableStore& table, std::string* reason) {
    ByteSource in(bytes);
    return startsWithAnalysisCsvHeader(in.available()) ? readTableCsv(in, table, reason)
                                                       : readTableText(in, table, reason);
}
