#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "meter/frame_assembly.h"

// Keeps every frame text an assembler cut, and those it handed to the decoder.
struct CutLog : FrameListener {
    std::vector<std::string> cut;
    std::vector<std::string> decoded;
    void frameCut(std::string_view text, const DecodeOutcome* outcome) override {
        cut.emplace_back(text);
        if (outcome != nullptr) {
            decoded.emplace_back(text);
        }
    }
};
