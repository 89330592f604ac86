#pragma once
// The converter's side of the user-interface seam: messages go to standard error one per line as
// "pontrel-convert: MESSAGE", warnings (the conversion goes on) as "pontrel-convert: warning:
// MESSAGE"; the success message (the one that follows "Shape file Created.") goes to standard
// output as it is, for scripts to read. With a terminal on standard error a progress line shows
// the rows done and the two times; otherwise nothing of the progress is printed. Quiet, neither
// warnings nor the progress line are printed. Times are the system clock to the second; a span reads as
// HH:MM:SS, with a date in front from one day on.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "engine/UserInterface.h"

namespace pontrel::convert {

// What every message on standard error starts with, as other programs of the shell do.
inline constexpr const char* kMessagePrefix = "pontrel-convert: ";

class ConsoleInterface : public UserInterface {
public:
    ConsoleInterface(std::FILE* out, std::FILE* err, bool progressLine, bool quiet = false);
    ~ConsoleInterface() override;
    ConsoleInterface(const ConsoleInterface&) = delete;
    ConsoleInterface& operator=(const ConsoleInterface&) = delete;

    void showMessage(const std::string& text) override;
    void showWarning(const std::string& text) override;
    // Never asked by a conversion; a question without anyone to answer it is answered No.
    bool askYesNo(const std::string& text, const std::string& title) override;
    void setProgressMaximum(double maximum) override;
    void setProgressMinimum(double minimum) override;
    void setProgressValue(double value) override;
    void setStatusText(int panel, const std::string& text) override;
    data::Date now() override;
    std::string dateValueText(data::Date value) override;
    void endProgram() override { ended_ = true; }

    bool ended() const { return ended_; }
    // Prints a message on standard error, after ending a progress line that is showing.
    void printError(const std::string& text);
    // Ends a progress line that is showing, so that what follows starts on a line of its own.
    void endProgressLine();
    // Seconds from creation to the start of composition, and of composition itself.
    double extractionSeconds() const;
    double compositionSeconds() const;

private:
    void draw();

    std::FILE* out_;
    std::FILE* err_;
    bool progressLine_;
    bool quiet_;
    bool lineOpen_ = false;
    bool successNext_ = false;
    bool ended_ = false;
    std::string phase_;
    std::string elapsed_;
    std::string remaining_;
    double maximum_ = 0;
    double value_ = 0;
    double nextDraw_ = 0;
    std::time_t clockSecond_ = -1;
    data::Date clockValue_ = 0;
    using Clock = std::chrono::steady_clock;
    Clock::time_point created_ = Clock::now();
    Clock::time_point composing_{};
    Clock::time_point composed_{};
};

}  // namespace pontrel::convert
