#include "app/convert/ConsoleInterface.h"

#include <algorithm>

#include "common/DayCount.h"

namespace pontrel::convert {

namespace {

// One message, one line: line breaks inside a message become blanks.
void printLine(std::FILE* stream, std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    text += '\n';
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

}  // namespace

ConsoleInterface::ConsoleInterface(std::FILE* out, std::FILE* err, bool progressLine, bool quiet)
    : out_(out), err_(err), progressLine_(progressLine && !quiet), quiet_(quiet) {}

ConsoleInterface::~ConsoleInterface() { endProgressLine(); }

void ConsoleInterface::showMessage(const std::string& text) {
    endProgressLine();
    if (successNext_)
        printLine(out_, text);
    else
        printLine(err_, kMessagePrefix + text);
    successNext_ = false;
}

void ConsoleInterface::showWarning(const std::string& text) {
    if (quiet_) return;
    endProgressLine();
    printLine(err_, kMessagePrefix + ("warning: " + text));
}

bool ConsoleInterface::askYesNo(const std::string&, const std::string&) { return false; }

void ConsoleInterface::setProgressMaximum(double maximum) { maximum_ = maximum; }

void ConsoleInterface::setProgressMinimum(double) {}

void ConsoleInterface::setProgressValue(double value) {
    value_ = value;
    if (progressLine_ && maximum_ <= 0 && phase_ == "Reading samples...") {
        // No total while reading: the rows read so far.
        std::fprintf(err_, "\r%s %.0f rows\033[K", phase_.c_str(), value);
        std::fflush(err_);
        lineOpen_ = true;
        return;
    }
    // Redrawn each hundredth of the way, besides whenever a time text changes.
    if (progressLine_ && value >= nextDraw_) {
        nextDraw_ = value + std::max(1.0, maximum_ / 100);
        draw();
    }
}

void ConsoleInterface::setStatusText(int panel, const std::string& text) {
    switch (panel) {
        case 1:
            phase_ = text;
            // Reading has no count of rows to show yet: the line says that it is under way.
            if (progressLine_ && text == "Reading samples...") {
                std::fprintf(err_, "\r%s\033[K", text.c_str());
                std::fflush(err_);
                lineOpen_ = true;
            }
            if (text == "Creating shape file..." || text == "Creating GeoPackage...") composing_ = Clock::now();
            if (text == "Shape file Created." || text == "GeoPackage Created.") {
                composed_ = Clock::now();
                endProgressLine();
                successNext_ = true;
            }
            break;
        case 3: elapsed_ = text; break;
        case 4: remaining_ = text; break;
        default: break;
    }
    if (progressLine_ && (panel == 3 || panel == 4)) draw();
}

data::Date ConsoleInterface::now() {
    std::time_t second = std::time(nullptr);
    if (second != clockSecond_) {
        std::tm local{};
        localtime_r(&second, &local);
        clockSecond_ = second;
        clockValue_ = data::dateFromCivil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                           local.tm_hour, local.tm_min, local.tm_sec});
    }
    return clockValue_;
}

std::string ConsoleInterface::dateValueText(data::Date value) {
    data::CivilTime c = data::civilFromDate(value);
    char text[64];
    if (value >= 1 || value < 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                      c.hour, c.minute, c.second);
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", c.hour, c.minute, c.second);
    return text;
}

double ConsoleInterface::extractionSeconds() const {
    if (composing_ == Clock::time_point{}) return 0;
    return std::chrono::duration<double>(composing_ - created_).count();
}

double ConsoleInterface::compositionSeconds() const {
    if (composed_ == Clock::time_point{}) return 0;
    return std::chrono::duration<double>(composed_ - composing_).count();
}

void ConsoleInterface::printError(const std::string& text) {
    endProgressLine();
    printLine(err_, kMessagePrefix + text);
}

void ConsoleInterface::endProgressLine() {
    if (!lineOpen_) return;
    std::fputc('\n', err_);
    std::fflush(err_);
    lineOpen_ = false;
}

void ConsoleInterface::draw() {
    if (maximum_ <= 0) return;
    std::fprintf(err_, "\r%s %.0f/%.0f rows  %s  %s\033[K", phase_.c_str(), value_, maximum_,
                 elapsed_.c_str(), remaining_.c_str());
    std::fflush(err_);
    lineOpen_ = true;
}

}  // namespace pontrel::convert
