// The XML data packet: writer and a streaming reader of our own. Files the program wrote on
// Windows name an attribute "DC/AC", which conforming XML parsers refuse, so the reader accepts
// any attribute name without white space, "=", quotes or angle brackets.
#include <array>
#include <charconv>
#include <cstring>
#include <string>

#include "meter/whole_number.h"
#include "recording/ascii_text.h"
#include "recording/byte_stream.h"
#include "recording/formats.h"

namespace {

constexpr std::array<std::string_view, kFieldCount> kFieldElements = {
    R"(<FIELD attrname="No" fieldtype="i4"/>)",
    R"(<FIELD attrname="Time" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="DC/AC" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="Value" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="Unit" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="Range" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="Auto" fieldtype="string" WIDTH="20"/>)",
    R"(<FIELD attrname="Nval" fieldtype="i4"/>)",
};

void putEscaped(ByteSink& out, std::string_view text) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::string_view escape;
        char numeric[8];
        switch (c) {
            case '<':
                escape = "&lt;";
                break;
            case '>':
                escape = "&gt;";
                break;
            case '&':
                escape = "&amp;";
                break;
            case '\'':
                escape = "&apos;";
                break;
            case '"':
                escape = "&quot;";
                break;
            case '\r':
                escape = "&#013;";
                break;
            case '\n':
                escape = "&#010;";
                break;
            case '\t':
                escape = "&#009;";
                break;
            case '\\':
                escape = "&#092;";
                break;
            default:
                if (c >= 0x20) {
                    continue;
                }
                // Other control bytes as references too, so that every byte survives a reload.
                numeric[0] = '&';
                numeric[1] = '#';
                numeric[2] = '0';
                numeric[3] = static_cast<char>('0' + c / 10);
                numeric[4] = static_cast<char>('0' + c % 10);
                numeric[5] = ';';
                escape = std::string_view(numeric, 6);
        }
        out.put(text.substr(from, i - from));
        out.put(escape);
        from = i + 1;
    }
    out.put(text.substr(from));
}

void putNumber(ByteSink& out, std::int32_t value) {
    char number[16];
    const auto result = std::to_chars(number, number + sizeof number, value);
    out.put(std::string_view(number, static_cast<std::size_t>(result.ptr - number)));
}

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Longest element or attribute name and longest number the reader takes; real packets stay far
// below, and the bounds keep a hostile file from growing the buffers.
constexpr std::size_t kMaxName = 256;
constexpr std::size_t kMaxNumber = 64;

// The reader. Every method returns false on malformed input; the first false ends the read.
class PacketReader {
public:
    PacketReader(ByteSource& in, TableStore& table) : m_in(in), m_table(table) {}

    bool read() {
        // A byte-order mark is tolerated before the declaration.
        if (m_in.peek() == 0xEF) {
            m_in.get();
            if (m_in.get() != 0xBB || m_in.get() != 0xBF) {
                return false;
            }
        }
        if (!skipMisc() || !m_pendingLt) {
            return false;
        }
        m_pendingLt = false;
        if (!readName(m_name) || m_name != "DATAPACKET") {
            return false;
        }
        m_rootSeen = true;
        bool empty = false;
        if (!skipAttributes(empty)) {
            return false;
        }
        if (!empty && !readDataPacketContent()) {
            return false;
        }
        if (!m_fieldsSeen) {
            return false;
        }
        return skipMisc() && m_in.peek() < 0 && !m_in.failed();
    }
    // Whether the packet's root element was found (the file is a data packet at all).
    bool rootSeen() const { return m_rootSeen; }

private:
    // White space, comments and processing instructions (the declaration among them).
    bool skipMisc() {
        while (true) {
            int c = m_in.peek();
            while (isSpace(c)) {
                m_in.get();
                c = m_in.peek();
            }
            if (c != '<') {
                return true;
            }
            m_in.get();
            const int next = m_in.peek();
            if (next == '?') {
                m_in.get();
                if (!skipUntil("?>")) {
                    return false;
                }
            } else if (next == '!') {
                m_in.get();
                if (m_in.get() != '-' || m_in.get() != '-' || !skipUntil("-->")) {
                    return false;
                }
            } else {
                m_pendingLt = true;
                return true;
            }
        }
    }

    bool skipUntil(std::string_view end) {
        std::size_t matched = 0;
        while (true) {
            const int c = m_in.get();
            if (c < 0) {
                return false;
            }
            if (c == static_cast<unsigned char>(end[matched])) {
                if (++matched == end.size()) {
                    return true;
                }
            } else {
                matched = (c == static_cast<unsigned char>(end[0])) ? 1 : 0;
            }
        }
    }

    // After skipMisc: the next markup is a start tag (true, name read) or an end tag of
    // `parent` (false in `isStart`, end tag consumed). Anything else is malformed.
    bool nextTag(std::string_view parent, bool& isStart) {
        if (!skipMisc()) {
            return false;
        }
        if (!m_pendingLt) {
            return false;  // text content or the end of the file
        }
        m_pendingLt = false;
        if (m_in.peek() == '/') {
            m_in.get();
            if (!readName(m_name) || m_name != parent) {
                return false;
            }
            int c = m_in.get();
            while (isSpace(c)) {
                c = m_in.get();
            }
            isStart = false;
            return c == '>';
        }
        isStart = true;
        return readName(m_name);
    }

    // "<" has been read by skipMisc or the caller.
    bool readName(std::string& name) {
        name.clear();
        while (true) {
            const int c = m_in.peek();
            if (c < 0 || isSpace(c) || c == '/' || c == '>' || c == '<' || c == '=' || c == '"' ||
                c == '\'') {
                break;
            }
            if (name.size() == kMaxName) {
                return false;
            }
            name.push_back(static_cast<char>(c));
            m_in.get();
        }
        return !name.empty();
    }

    // Reads the next attribute of a start tag. At the tag's end sets `end` (and `empty` for
    // "/>") and returns true without a name.
    bool nextAttribute(bool& end, bool& empty) {
        int c = m_in.peek();
        while (isSpace(c)) {
            m_in.get();
            c = m_in.peek();
        }
        end = false;
        empty = false;
        if (c == '>') {
            m_in.get();
            end = true;
            return true;
        }
        if (c == '/') {
            m_in.get();
            end = empty = true;
            return m_in.get() == '>';
        }
        m_attribute.clear();
        while (true) {
            c = m_in.peek();
            if (c < 0 || isSpace(c) || c == '=' || c == '>' || c == '<' || c == '"' || c == '\'') {
                break;
            }
            if (m_attribute.size() == kMaxName) {
                return false;
            }
            m_attribute.push_back(static_cast<char>(c));
            m_in.get();
        }
        if (m_attribute.empty()) {
            return false;
        }
        c = m_in.get();
        while (isSpace(c)) {
            c = m_in.get();
        }
        if (c != '=') {
            return false;
        }
        c = m_in.get();
        while (isSpace(c)) {
            c = m_in.get();
        }
        if (c != '"' && c != '\'') {
            return false;
        }
        m_quote = static_cast<char>(c);
        return true;
    }

    // Reads the value after the opening quote into value, keeping at most `keep` bytes (the
    // rest is checked and dropped). Decodes references; white space in the value reads as a
    // blank, as XML normalises attribute values.
    bool readValue(std::string& value, std::size_t keep) {
        value.clear();
        auto add = [&](char ch) {
            if (value.size() < keep) {
                value.push_back(ch);
            }
        };
        while (true) {
            // Plain bytes straight from the buffer: the common case.
            const std::string_view chunk = m_in.available();
            if (chunk.empty()) {
                return false;
            }
            std::size_t i = 0;
            while (i < chunk.size()) {
                const char ch = chunk[i];
                if (ch == m_quote || ch == '&' || ch == '<' || ch == '\r' || ch == '\n' ||
                    ch == '\t') {
                    break;
                }
                ++i;
            }
            if (value.size() < keep) {
                value.append(chunk.data(), std::min(i, keep - value.size()));
            }
            m_in.skip(i);
            if (i == chunk.size()) {
                continue;
            }
            const char ch = chunk[i];
            m_in.skip(1);
            if (ch == m_quote) {
                return true;
            }
            if (ch == '<') {
                return false;
            }
            if (ch == '\r') {
                if (m_in.peek() == '\n') {
                    m_in.get();
                }
                add(' ');
            } else if (ch == '\n' || ch == '\t') {
                add(' ');
            } else if (!readReference(add)) {
                return false;
            }
        }
    }

    // After "&": a character reference (decimal or hexadecimal) or one of the five entities.
    template <typename Add>
    bool readReference(Add& add) {
        char name[12];
        std::size_t n = 0;
        while (true) {
            const int c = m_in.get();
            if (c < 0) {
                return false;
            }
            if (c == ';') {
                break;
            }
            if (n == sizeof name) {
                return false;
            }
            name[n++] = static_cast<char>(c);
        }
        const std::string_view ref(name, n);
        if (ref == "lt") {
            add('<');
        } else if (ref == "gt") {
            add('>');
        } else if (ref == "amp") {
            add('&');
        } else if (ref == "apos") {
            add('\'');
        } else if (ref == "quot") {
            add('"');
        } else if (n >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty()) {
                return false;
            }
            std::uint32_t code = 0;
            const auto result =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
                code > 0x10FFFF) {
                return false;
            }
            // Texts are 8-bit: a byte stands for itself; anything above goes in as UTF-8.
            if (code < 0x100) {
                add(static_cast<char>(code));
            } else if (code < 0x800) {
                add(static_cast<char>(0xC0 | (code >> 6)));
                add(static_cast<char>(0x80 | (code & 0x3F)));
            } else if (code < 0x10000) {
                add(static_cast<char>(0xE0 | (code >> 12)));
                add(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                add(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                add(static_cast<char>(0xF0 | (code >> 18)));
                add(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
                add(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                add(static_cast<char>(0x80 | (code & 0x3F)));
            }
        } else {
            return false;
        }
        return true;
    }

    // Skips the attributes of the current start tag (values still checked).
    bool skipAttributes(bool& empty) {
        while (true) {
            bool end = false;
            if (!nextAttribute(end, empty)) {
                return false;
            }
            if (end) {
                return true;
            }
            if (!readValue(m_value, 0)) {
                return false;
            }
        }
    }

    // Skips an element whose start tag name is in m_name, attributes not yet read.
    bool skipElement(int depth = 0) {
        if (depth > 64) {
            return false;
        }
        const std::string name = m_name;
        bool empty = false;
        if (!skipAttributes(empty)) {
            return false;
        }
        if (empty) {
            return true;
        }
        while (true) {
            bool isStart = false;
            if (!nextTag(name, isStart)) {
                return false;
            }
            if (!isStart) {
                return true;
            }
            if (!skipElement(depth + 1)) {
                return false;
            }
        }
    }

    bool readDataPacketContent() {
        bool metadataSeen = false;
        bool rowdataSeen = false;
        while (true) {
            bool isStart = false;
            if (!nextTag("DATAPACKET", isStart)) {
                return false;
            }
            if (!isStart) {
                return true;
            }
            if (m_name == "METADATA" && !metadataSeen) {
                metadataSeen = true;
                if (!readMetadata()) {
                    return false;
                }
            } else if (m_name == "ROWDATA" && !rowdataSeen && m_fieldsSeen) {
                rowdataSeen = true;
                if (!readRowData()) {
                    return false;
                }
            } else if (m_name == "METADATA" || m_name == "ROWDATA") {
                return false;
            } else if (!skipElement()) {
                return false;
            }
        }
    }

    bool readMetadata() {
        bool empty = false;
        if (!skipAttributes(empty)) {
            return false;
        }
        if (empty) {
            return true;
        }
        while (true) {
            bool isStart = false;
            if (!nextTag("METADATA", isStart)) {
                return false;
            }
            if (!isStart) {
                return true;
            }
            if (m_name == "FIELDS") {
                if (m_fieldsSeen || !readFields()) {
                    return false;
                }
            } else if (!skipElement()) {
                return false;
            }
        }
    }

    // The FIELDS must be the table's eight fields, each once, in any order.
    bool readFields() {
        bool empty = false;
        if (!skipAttributes(empty)) {
            return false;
        }
        std::array<bool, kFieldCount> seen{};
        std::size_t count = 0;
        while (!empty) {
            bool isStart = false;
            if (!nextTag("FIELDS", isStart)) {
                return false;
            }
            if (!isStart) {
                break;
            }
            if (m_name != "FIELD") {
                return false;
            }
            if (!readField(seen)) {
                return false;
            }
            ++count;
        }
        m_fieldsSeen = count == kFieldCount;
        return m_fieldsSeen;
    }

    bool readField(std::array<bool, kFieldCount>& seen) {
        std::string attrname, fieldname, fieldtype;
        bool hasAttrname = false;
        bool hasFieldname = false;
        bool empty = false;
        while (true) {
            bool end = false;
            if (!nextAttribute(end, empty)) {
                return false;
            }
            if (end) {
                break;
            }
            std::string* target = nullptr;
            if (m_attribute == "attrname") {
                target = &attrname;
                hasAttrname = true;
            } else if (m_attribute == "fieldname") {
                target = &fieldname;
                hasFieldname = true;
            } else if (m_attribute == "fieldtype") {
                target = &fieldtype;
            }
            if (!readValue(target ? *target : m_value, target ? kMaxName : 0)) {
                return false;
            }
        }
        if (!empty) {
            // A FIELD may carry PARAM children; nothing of them matters here.
            while (true) {
                bool isStart = false;
                if (!nextTag("FIELD", isStart)) {
                    return false;
                }
                if (!isStart) {
                    break;
                }
                if (!skipElement()) {
                    return false;
                }
            }
        }
        if (!hasAttrname) {
            return false;
        }
        const auto field = fieldByName(hasFieldname ? fieldname : attrname);
        if (!field || seen[static_cast<std::size_t>(*field)]) {
            return false;
        }
        const bool isNumber = *field == Field::No || *field == Field::Nval;
        if (!equalsIgnoringCase(fieldtype, isNumber ? "i4" : "string")) {
            return false;
        }
        seen[static_cast<std::size_t>(*field)] = true;
        m_attrnames[static_cast<std::size_t>(*field)] = attrname;
        return true;
    }

    std::optional<Field> rowField(std::string_view attribute) const {
        for (std::size_t k = 0; k < kFieldCount; ++k) {
            if (equalsIgnoringCase(m_attrnames[k], attribute)) {
                return static_cast<Field>(k);
            }
        }
        return std::nullopt;
    }

    bool readRowData() {
        bool empty = false;
        if (!skipAttributes(empty)) {
            return false;
        }
        while (!empty) {
            bool isStart = false;
            if (!nextTag("ROWDATA", isStart)) {
                return false;
            }
            if (!isStart) {
                return true;
            }
            if (m_name != "ROW" || !readRow()) {
                return false;
            }
        }
        return true;
    }

    bool readRow() {
        std::array<bool, kFieldCount> seen{};
        bool empty = false;
        while (true) {
            bool end = false;
            if (!nextAttribute(end, empty)) {
                return false;
            }
            if (end) {
                break;
            }
            const auto field = rowField(m_attribute);
            if (!field) {
                if (!readValue(m_value, 0)) {  // RowState and other attributes do not matter
                    return false;
                }
                continue;
            }
            const auto k = static_cast<std::size_t>(*field);
            if (seen[k]) {
                return false;
            }
            seen[k] = true;
            const bool isNumber = *field == Field::No || *field == Field::Nval;
            if (!readValue(m_values[k], isNumber ? kMaxNumber + 1 : kMaxTextLength)) {
                return false;
            }
            if (isNumber && m_values[k].size() > kMaxNumber) {
                return false;
            }
        }
        if (!empty) {
            bool isStart = false;
            if (!nextTag("ROW", isStart) || isStart) {
                return false;
            }
        }
        RowData row;
        if (seen[0]) {
            row.no = parseWholeNumber(m_values[0]);
            if (!row.no) {
                return false;
            }
        }
        if (seen[kFieldCount - 1]) {
            row.nval = parseWholeNumber(m_values[kFieldCount - 1]);
            if (!row.nval) {
                return false;
            }
        }
        for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
            row.texts[k - 1] = seen[k] ? std::string_view(m_values[k]) : std::string_view();
        }
        m_table.append(row);
        return true;
    }

    ByteSource& m_in;
    TableStore& m_table;
    bool m_pendingLt = false;
    bool m_fieldsSeen = false;
    bool m_rootSeen = false;
    char m_quote = '"';
    std::string m_name;
    std::string m_attribute;
    std::string m_value;
    std::array<std::string, kFieldCount> m_attrnames;
    std::array<std::string, kFieldCount> m_values;
};

}  // namespace

void writeTablePacket(const TableStore& table, ByteSink& out) {
    out.put("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n");
    out.put("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    for (const std::string_view f : kFieldElements) {
        out.put(f);
    }
    out.put("</FIELDS><PARAMS/></METADATA><ROWDATA>\r\n");
    static constexpr std::string_view kAttributes[kFieldCount] = {
        " No=\"",   " Time=\"",  " DC/AC=\"", " Value=\"",
        " Unit=\"", " Range=\"", " Auto=\"",  " Nval=\""};
    const std::size_t rows = table.rowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        out.put("<ROW");
        if (const auto no = table.no(r)) {
            out.put(kAttributes[0]);
            putNumber(out, *no);
            out.put('"');
        }
        for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
            const std::string_view text = table.text(r, static_cast<Field>(k));
            if (!text.empty()) {
                out.put(kAttributes[k]);
                putEscaped(out, text);
                out.put('"');
            }
        }
        if (const auto nval = table.nval(r)) {
            out.put(kAttributes[kFieldCount - 1]);
            putNumber(out, *nval);
            out.put('"');
        }
        out.put("/>\r\n");
    }
    out.put("</ROWDATA></DATAPACKET>\r\n");
}

bool readTablePacket(ByteSource& in, TableStore& table, std::string* reason) {
    PacketReader reader(in, table);
    if (reader.read()) {
        return true;
    }
    if (reason != nullptr) {
        if (in.failed()) {
            *reason = std::strerror(in.error());
        } else if (!reader.rootSeen()) {
            *reason = "not an XML data packet";
        } else if (in.peek() < 0) {
            *reason = "the XML packet ends early";
        } else {
            *reason = "the XML packet is not valid at byte " + std::to_string(in.position());
        }
    }
    return false;
}
