#pragma once

#include <cstddef>
#include <cstdint>

// Splits a fuzz input into a table of chunk sizes and a byte stream: byte 0 gives the number of
// sizes (1-8), the next bytes the sizes (0-64 each, cycled), the rest is the stream. Calls
// feed(data, size) for every chunk in order, so assemblers see every kind of batch split.
template <typename Feed>
void feedInChunks(const std::uint8_t* data, std::size_t size, Feed&& feed) {
    if (size == 0) {
        return;
    }
    const std::size_t tableSize = data[0] % 8 + 1;
    if (size < 1 + tableSize) {
        return;
    }
    std::size_t sizes[8];
    bool anyNonZero = false;
    for (std::size_t i = 0; i < tableSize; ++i) {
        sizes[i] = data[1 + i] % 65;
        anyNonZero = anyNonZero || sizes[i] != 0;
    }
    if (!anyNonZero) {
        sizes[0] = 1;
    }
    const std::uint8_t* p = data + 1 + tableSize;
    std::size_t left = size - 1 - tableSize;
    for (std::size_t k = 0; left > 0; k = (k + 1) % tableSize) {
        const std::size_t n = sizes[k] < left ? sizes[k] : left;
        feed(p, n);
        p += n;
        left -= n;
    }
}

// Stops the fuzzer on a broken promise of the engine.
inline void fuzzCheck(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}
