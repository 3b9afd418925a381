// The tab-separated text file: writer and loader.
#include <charconv>
#include <string>

#include "meter/whole_number.h"
#include "recording/byte_stream.h"
#include "recording/data_files.h"
#include "recording/formats.h"

namespace {

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// A field as the file holds it: without leading and trailing blanks and control characters,
// and with TAB, CR and LF inside turned into blanks so that they cannot break the lines.
void putTrimmed(ByteSink& out, std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlankOrControl(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlankOrControl(text[end - 1])) {
        --end;
    }
    text = text.substr(begin, end - begin);
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t' || c == '\r' || c == '\n') {
            out.put(text.substr(from, i - from));
            out.put(' ');
            from = i + 1;
        }
    }
    out.put(text.substr(from));
}

// Table order of the six text columns in the file: Time, DC/AC, Value, Unit, Range, Auto.
constexpr Field kTextColumns[kTextFieldCount] = {Field::Time, Field::DcAc,  Field::Value,
                                                 Field::Unit, Field::Range, Field::Auto};

// Fills one row from the items of a line; false when the line cannot be a row.
bool appendLine(std::string_view line, TableStore& table) {
    std::string_view items[kFieldCount];
    std::size_t count = 0;
    while (true) {
        const std::size_t tab = line.find('\t');
        if (count == kFieldCount) {
            return false;  // more than eight items
        }
        items[count++] = line.substr(0, tab);
        if (tab == std::string_view::npos) {
            break;
        }
        line.remove_prefix(tab + 1);
    }
    RowData row;
    row.no = parseWholeNumber(items[0]);
    if (!row.no) {
        return false;
    }
    for (std::size_t k = 1; k < count && k <= kTextFieldCount; ++k) {
        row.texts[k - 1] = items[k];
    }
    if (count == kFieldCount) {
        row.nval = parseWholeNumber(items[kFieldCount - 1]);
        if (!row.nval) {
            return false;
        }
    }
    table.append(row);
    return true;
}

}  // namespace

void writeTableText(const TableStore& table, ByteSink& out) {
    out.put(kTextHeader);
    out.put("\r\n");
    char number[16];
    const std::size_t rows = table.rowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        if (const auto no = table.no(r)) {
            const auto result = std::to_chars(number, number + sizeof number, *no);
            out.put(std::string_view(number, static_cast<std::size_t>(result.ptr - number)));
        }
        for (const Field f : kTextColumns) {
            out.put('\t');
            putTrimmed(out, table.text(r, f));
        }
        out.put("\r\n");
    }
}

bool readTableText(ByteSource& in, TableStore& table) {
    // Lines end at CR LF, LF or CR; the first line (the header) is dropped whatever it holds.
    bool firstLine = true;
    bool afterCr = false;
    std::string carried;  // a line cut by the end of a read chunk
    bool carrying = false;
    auto takeLine = [&](std::string_view line) {
        if (firstLine) {
            firstLine = false;
            return true;
        }
        return appendLine(line, table);
    };
    while (true) {
        std::string_view chunk = in.available();
        if (chunk.empty()) {
            break;
        }
        std::size_t i = 0;
        if (afterCr && chunk[0] == '\n') {
            i = 1;
        }
        afterCr = false;
        std::size_t lineStart = i;
        for (; i < chunk.size(); ++i) {
            const char c = chunk[i];
            if (c != '\r' && c != '\n') {
                continue;
            }
            std::string_view line = chunk.substr(lineStart, i - lineStart);
            if (carrying) {
                carried.append(line);
                line = carried;
            }
            if (!takeLine(line)) {
                return false;
            }
            carrying = false;
            carried.clear();
            if (c == '\r') {
                if (i + 1 < chunk.size()) {
                    if (chunk[i + 1] == '\n') {
                        ++i;
                    }
                } else {
                    afterCr = true;
                }
            }
            lineStart = i + 1;
        }
        if (lineStart < chunk.size()) {
            carried.append(chunk.substr(lineStart));
            carrying = true;
        }
        in.skip(chunk.size());
    }
    if (in.failed()) {
        return false;
    }
    if (carrying && !carried.empty()) {
        return takeLine(carried);
    }
    return true;
}
