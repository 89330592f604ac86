#pragma once
// The message of the error an action throws, or "(no error)": lets tests compare exact texts.

#include <string>

#include "sqlite/DatabaseError.h"

namespace pontrel::testing {

template <typename Error = data::DatabaseError, typename Action>
std::string errorOf(Action&& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace pontrel::testing
