#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "meter/reading_consumer.h"

// A ReadingConsumer that logs every hook in the order it was called ("frameMark", "frameText",
// "lcdApply", "scaleUpdate", "limitCheck", "recordReading", "barGraph", "chartFeed",
// "conversionFailed") and keeps what the hooks were given.
class RecordingConsumer : public ReadingConsumer {
public:
    bool appendRows = true;  // what recordReading answers

    std::vector<std::string> calls;
    std::vector<std::string> frameTexts;
    std::vector<std::string> messages;
    std::vector<int> chartValues;
    LcdState lcd;
    CurrentReading reading;  // as limitCheck saw it
    const FrameCountMode* mode = nullptr;
    int needle = -1;
    int barMaximum = -1;
    int barPosition = -1;
    int lcdApplied = 0;
    int recorded = 0;

    void frameMark() override { calls.emplace_back("frameMark"); }
    void frameText(std::string_view text) override {
        calls.emplace_back("frameText");
        frameTexts.emplace_back(text);
    }
    void lcdApply(const LcdState& state) override {
        calls.emplace_back("lcdApply");
        lcd = state;
        ++lcdApplied;
    }
    void scaleUpdate(const FrameCountMode& m, int needleValue) override {
        calls.emplace_back("scaleUpdate");
        mode = &m;
        needle = needleValue;
    }
    void limitCheck(const CurrentReading& r, const FrameCountMode&) override {
        calls.emplace_back("limitCheck");
        reading = r;
    }
    bool recordReading(const CurrentReading&) override {
        calls.emplace_back("recordReading");
        if (appendRows) {
            ++recorded;
        }
        return appendRows;
    }
    void barGraph(int maximum, int position) override {
        calls.emplace_back("barGraph");
        barMaximum = maximum;
        barPosition = position;
    }
    void chartFeed(int y) override {
        calls.emplace_back("chartFeed");
        chartValues.push_back(y);
    }
    void conversionFailed(std::string_view message) override {
        calls.emplace_back("conversionFailed");
        messages.emplace_back(message);
    }

    // The hooks called, joined with blanks, then forgotten.
    std::string takeCalls() {
        std::string joined;
        for (const auto& c : calls) {
            if (!joined.empty()) {
                joined += ' ';
            }
            joined += c;
        }
        calls.clear();
        return joined;
    }
};
