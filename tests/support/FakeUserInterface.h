#pragma once
// A user interface for tests: records every message, status text and progress change, answers
// yes/no from a queue, and runs a clock that the test moves.

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/UserInterface.h"

namespace pontrel::testing {

class FakeUserInterface : public UserInterface {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text, const std::string& title) override {
        questions.push_back(title + ": " + text);
        if (answers.empty()) return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void setProgressMaximum(double maximum) override { progress.push_back("max " + number(maximum)); }
    void setProgressMinimum(double minimum) override { progress.push_back("min " + number(minimum)); }
    void setProgressValue(double value) override {
        progressValue = value;
        ++progressUpdates;
    }
    void setStatusText(int panel, const std::string& text) override {
        if (panel >= 1 && panel <= 4) status[panel] = text;
        statusHistory.push_back(std::to_string(panel) + ":" + text);
    }
    data::Date now() override {
        if (onNow) onNow(*this);
        return clock;
    }
    // A span as the clock time after midnight, HH:MM:SS; with whole days first when longer.
    std::string dateValueText(data::Date value) override {
        data::CivilTime c = data::civilFromDate(value);
        char buffer[64];
        if (value >= 1)
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month,
                          c.day, c.hour, c.minute, c.second);
        else
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", c.hour, c.minute, c.second);
        return buffer;
    }
    void endProgram() override { ++endCalls; }

    void advanceSeconds(double seconds) { clock += seconds / 86400.0; }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::vector<std::string> progress;
    double progressValue = 0;
    std::size_t progressUpdates = 0;
    std::string status[5];
    std::vector<std::string> statusHistory;
    data::Date clock = 45000.0;  // a fixed day, midnight
    std::function<void(FakeUserInterface&)> onNow;
    int endCalls = 0;

private:
    static std::string number(double value) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", value);
        return buffer;
    }
};

}  // namespace pontrel::testing
