#include "display/chart_page_size.h"

#include "meter/whole_number.h"

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
