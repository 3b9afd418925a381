// The tab-separated text file: writer and loader.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
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

// What a whole-number item keeps: enough to convert it exactly or refuse it. Leading blanks
// and runs of leading zeros change neither the value nor the verdict, so they are not kept
// beyond two zeros (two, so that "00x1" stays as wrong as it was); what is left of a number
// that converts is a handful of characters, and anything longer than kKeep cannot convert.
class NumberItem {
public:
    void clear() {
        m_size = 0;
        m_tooLong = false;
    }
    void add(std::string_view part) {
        for (const char c : part) {
            if (c == ' ' && m_size == 0) {
                continue;
            }
            if (c == '0' && leadingZeros() >= 2) {
                continue;
            }
            if (m_size == kKeep) {
                m_tooLong = true;
                return;
            }
            m_text[m_size++] = c;
        }
    }
    std::optional<std::int32_t> value() const {
        if (m_tooLong) {
            return std::nullopt;
        }
        return parseWholeNumber(std::string_view(m_text, m_size));
    }

private:
    static constexpr std::size_t kKeep = 40;

    // The zeros at the end of the kept text when nothing but a sign, "$" or "0x" precedes them.
    std::size_t leadingZeros() const {
        std::size_t begin = 0;
        if (begin < m_size && (m_text[begin] == '-' || m_text[begin] == '+')) {
            ++begin;
        }
        if (begin < m_size && m_text[begin] == '$') {
            ++begin;
        } else if (begin + 2 < m_size && m_text[begin] == '0' &&
                   (m_text[begin + 1] == 'x' || m_text[begin + 1] == 'X')) {
            begin += 2;
        }
        for (std::size_t i = begin; i < m_size; ++i) {
            if (m_text[i] != '0') {
                return 0;
            }
        }
        return m_size - begin;
    }

    char m_text[kKeep];
    std::size_t m_size = 0;
    bool m_tooLong = false;
};

// One line of the file, fed in pieces as the reads cut it, held in constant memory whatever
// its length: the items are counted, a text item keeps the 20 characters its field keeps, and
// the two whole-number items keep what NumberItem keeps.
class LineBuilder {
public:
    void clear() {
        m_count = 1;
        m_tooMany = false;
        m_no.clear();
        m_nval.clear();
        for (std::size_t k = 0; k < kTextFieldCount; ++k) {
            m_textSize[k] = 0;
        }
    }

    void add(std::string_view part) {
        while (!part.empty() && !m_tooMany) {
            const std::size_t tab = part.find('\t');
            addToItem(part.substr(0, tab));
            if (tab == std::string_view::npos) {
                return;
            }
            part.remove_prefix(tab + 1);
            if (m_count == kFieldCount) {
                m_tooMany = true;  // a ninth item
                return;
            }
            ++m_count;
        }
    }

    // Appends the line as a row; false when it cannot be one.
    bool post(TableStore& table) const {
        if (m_tooMany) {
            return false;
        }
        RowData row;
        row.no = m_no.value();
        if (!row.no) {
            return false;
        }
        for (std::size_t k = 1; k < m_count && k <= kTextFieldCount; ++k) {
            row.texts[k - 1] = std::string_view(m_texts[k - 1], m_textSize[k - 1]);
        }
        if (m_count == kFieldCount) {
            row.nval = m_nval.value();
            if (!row.nval) {
                return false;
            }
        }
        table.append(row);
        return true;
    }

private:
    void addToItem(std::string_view part) {
        if (part.empty()) {
            return;
        }
        const std::size_t item = m_count - 1;
        if (item == 0) {
            m_no.add(part);
        } else if (item == kFieldCount - 1) {
            m_nval.add(part);
        } else {
            std::size_t& size = m_textSize[item - 1];
            const std::size_t n = std::min(part.size(), kMaxTextLength - size);
            std::char_traits<char>::copy(m_texts[item - 1] + size, part.data(), n);
            size += n;
        }
    }

    std::size_t m_count = 1;
    bool m_tooMany = false;
    NumberItem m_no;
    NumberItem m_nval;
    char m_texts[kTextFieldCount][kMaxTextLength];
    std::size_t m_textSize[kTextFieldCount] = {};
};

}  // namespace

void writeTableTextRow(const TableStore& table, std::size_t row, ByteSink& out) {
    if (const auto no = table.no(row)) {
        char number[16];
        const auto result = std::to_chars(number, number + sizeof number, *no);
        out.put(std::string_view(number, static_cast<std::size_t>(result.ptr - number)));
    }
    for (const Field f : kTextColumns) {
        out.put('\t');
        putTrimmed(out, table.text(row, f));
    }
    out.put("\r\n");
}

void writeTableText(const TableStore& table, ByteSink& out) {
    out.put(kTextHeader);
    out.put("\r\n");
    const std::size_t rows = table.rowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        writeTableTextRow(table, r, out);
    }
}

bool readTableText(ByteSource& in, TableStore& table, std::string* reason) {
    // Lines end at CR LF, LF or CR; the first line (the header) is dropped whatever it holds.
    bool firstLine = true;
    bool afterCr = false;
    bool lineOpen = false;  // a line has begun and not yet ended
    std::uint64_t lineNumber = 1;
    std::size_t rowsRead = 0;
    // The start of the first line, to tell a data file whose line went wrong from another file.
    char header[3];
    std::size_t headerSize = 0;
    LineBuilder line;
    line.clear();
    const auto fail = [&](const char* why) {
        if (reason != nullptr) {
            if (why != nullptr) {
                *reason = why;
            } else if (rowsRead == 0 && std::string_view(header, headerSize) != "No\t") {
                *reason = "not a data file";
            } else {
                *reason = "line " + std::to_string(lineNumber) + ": not a data line";
            }
        }
        return false;
    };
    const auto keepHeader = [&](std::string_view part) {
        const std::size_t n = std::min(part.size(), sizeof header - headerSize);
        std::char_traits<char>::copy(header + headerSize, part.data(), n);
        headerSize += n;
    };
    auto endLine = [&]() {
        lineOpen = false;
        if (firstLine) {
            firstLine = false;
            line.clear();
            ++lineNumber;
            return true;
        }
        const bool ok = line.post(table);
        line.clear();
        if (ok) {
            ++rowsRead;
            ++lineNumber;
        }
        return ok;
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
        while (i < chunk.size()) {
            const std::size_t end = chunk.find_first_of("\r\n", i);
            if (end == std::string_view::npos) {
                if (!firstLine) {
                    line.add(chunk.substr(i));
                } else {
                    keepHeader(chunk.substr(i));
                }
                lineOpen = true;
                break;
            }
            if (!firstLine) {
                line.add(chunk.substr(i, end - i));
            } else {
                keepHeader(chunk.substr(i, end - i));
            }
            if (!endLine()) {
                return fail(nullptr);
            }
            i = end + 1;
            if (chunk[end] == '\r') {
                if (i < chunk.size()) {
                    if (chunk[i] == '\n') {
                        ++i;
                    }
                } else {
                    afterCr = true;
                }
            }
        }
        in.skip(chunk.size());
    }
    if (in.failed()) {
        return fail(std::strerror(in.error()));
    }
    if (in.cancelled()) {
        // A cancelled load keeps the rows of the lines read completely.
        return false;
    }
    if (lineOpen && !endLine()) {
        return fail(nullptr);
    }
    return true;
}
