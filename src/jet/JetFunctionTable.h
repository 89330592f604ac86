#pragma once
// The Jet functions the translation knows by name: how many arguments each takes, the SQLite
// function that computes it (the jet_* functions of JetFunctions, or SQLite's own aggregates),
// and the type of its result. IIf, IsNull, Switch, Choose, CVar and Nz are special forms, written
// inline by the translation instead (JetSpecialForms.cpp).

#include <string>

#include "jet/JetSql.h"

namespace pontrel::data::jet {

struct FunctionInfo {
    const char* jet;
    const char* sql;
    int minArgs, maxArgs;
    JetType result;  // Unknown: the first argument's type
    bool textArgument;  // the first argument is used as a text
};

// The function with this upper-case name (a trailing '$' ignored); nullptr when Jet has none
// that the translation supports.
const FunctionInfo* findFunction(const std::string& upper);

}  // namespace pontrel::data::jet
