#include "display/chart_page_size.h"

#include "meter/whole_number.h"

bool digitFilterAccepts(char32_t key) {
    if (key >= U'0' && key <= U'9') {
        return true;
    }
    return key < 0x20 || key == 0x7f;  // backspace and the other control characters
}

PageSizeEntry readPageSizeEntry(std::string_view text) {
    PageSizeEntry entry;
    if (text.empty()) {
        return entry;
    }
    const std::optional<std::int32_t> number = parseWholeNumber(text);
    if (!number) {
        entry.kind = PageSizeEntry::Kind::NotAWholeNumber;
        entry.message = notAWholeNumberMessage(text);
    } else if (*number < 1) {
        entry.kind = PageSizeEntry::Kind::BelowOne;
        entry.message = std::string(kPageSizeRefusedMessage);
    } else {
        entry.kind = PageSizeEntry::Kind::Valid;
        entry.pageSize = *number;
    }
    return entry;
}
