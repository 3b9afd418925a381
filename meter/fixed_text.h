#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

// A short text held in place: no heap, so the per-frame decoding path never allocates.
// Assigning or appending beyond the capacity cuts the text at the capacity (never overflows).
template <std::size_t Capacity>
class FixedText {
    static_assert(Capacity > 0 && Capacity < 256, "FixedText keeps its length in one byte");

public:
    constexpr FixedText() = default;
    constexpr FixedText(std::string_view text) { assign(text); }  // NOLINT: implicit on purpose
    constexpr FixedText(const char* text) : FixedText(std::string_view(text)) {}

    constexpr void assign(std::string_view text) {
        m_size = 0;
        append(text);
    }
    constexpr void append(std::string_view text) {
        const std::size_t room = Capacity - m_size;
        const std::size_t n = std::min(room, text.size());
        if (std::is_constant_evaluated()) {
            for (std::size_t i = 0; i < n; ++i) {
                m_data[m_size + i] = text[i];
            }
        } else if (n > 0) {
            // The decoder and the recorder copy texts every frame; one block copy is cheaper.
            std::memcpy(m_data.data() + m_size, text.data(), n);
        }
        m_size = static_cast<std::uint8_t>(m_size + n);
    }
    constexpr void append(char c) {
        if (m_size < Capacity) {
            m_data[m_size++] = c;
        }
    }
    constexpr void clear() { m_size = 0; }

    constexpr std::string_view view() const { return {m_data.data(), m_size}; }
    constexpr operator std::string_view() const { return view(); }  // NOLINT
    std::string str() const { return std::string(view()); }
    constexpr std::size_t size() const { return m_size; }
    constexpr bool empty() const { return m_size == 0; }
    static constexpr std::size_t capacity() { return Capacity; }

    friend constexpr bool operator==(const FixedText& a, const FixedText& b) {
        return a.view() == b.view();
    }
    friend constexpr bool operator==(const FixedText& a, std::string_view b) {
        return a.view() == b;
    }
    // Without this, comparing with a string literal is ambiguous between the two above.
    friend constexpr bool operator==(const FixedText& a, const char* b) {
        return a.view() == std::string_view(b);
    }

private:
    std::array<char, Capacity> m_data{};
    std::uint8_t m_size = 0;
};
