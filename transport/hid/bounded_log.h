#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A log of text lines that keeps only its newest lines (HistoryListBox, Memo1, Memo2): a day of
// reports must not grow without end. Once it is full, adding a line reuses the oldest line's
// storage, so a warm log allocates nothing for lines no longer than those it already held.
class BoundedLog {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;

    // capacity 0 is taken as 1.
    explicit BoundedLog(std::size_t capacity = kDefaultCapacity)
        : m_capacity(capacity > 0 ? capacity : 1) {}

    // Adds a line at the end, dropping the oldest when the log is full. Never fails.
    void add(std::string_view line);
    // Removes every line. The numbering goes on (see firstNumber).
    void clear();

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    // Line i, 0 being the oldest kept. i must be below size().
    std::string_view line(std::size_t i) const { return m_lines[(m_head + i) % m_capacity]; }
    std::string_view last() const { return line(m_size - 1); }

    // Every line ever added has a number, counting from 0; line(0) has firstNumber(), and the next
    // line added gets endNumber(). A view compares them with what it drew to learn what changed.
    std::uint64_t firstNumber() const { return m_end - m_size; }
    std::uint64_t endNumber() const { return m_end; }

private:
    std::size_t m_capacity;
    std::vector<std::string> m_lines;  // a ring once it reaches the capacity
    std::size_t m_head = 0;            // slot of the oldest line
    std::size_t m_size = 0;
    std::uint64_t m_end = 0;
};
