#pragma once
// Everything the engine asks of the person in front of it: the wizard's windows, the
// command-line converter and the tests' fakes each implement it. The engine reaches messages,
// the progress bar, the status panels, the clock and the regional date texts only through here.

#include <string>

#include "common/DayCount.h"

namespace pontrel {

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A modal box with the program title, the text, an OK button and no icon; returns once the
    // user has answered.
    virtual void showMessage(const std::string& text) = 0;
    // A message after which the conversion goes on (a placeholder put in for missing data). The
    // wizard shows it like any other message; the command line marks it as a warning.
    virtual void showWarning(const std::string& text) { showMessage(text); }
    // A modal box with Yes and No under `title`; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& title) = 0;

    // The progress bar: range and position.
    virtual void setProgressMaximum(double maximum) = 0;
    virtual void setProgressMinimum(double minimum) = 0;
    virtual void setProgressValue(double value) = 0;
    // Panel 1 shows the phase, 3 and 4 the elapsed and remaining time.
    virtual void setStatusText(int panel, const std::string& text) = 0;

    // The system clock as a date value, to the second.
    virtual data::Date now() = 0;
    // A date value as the user's regional settings write it: a value under one day as a time of
    // day in the long time format, otherwise with its calendar date.
    virtual std::string dateValueText(data::Date value) = 0;

    // The conversion has ended with success; the program ends.
    virtual void endProgram() = 0;
};

}  // namespace pontrel
