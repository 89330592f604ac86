#pragma once
// The names of a GeoPackage's parameter columns. A column is named after its parameter's full
// name, so that the same parameter has the same column in every file; a name that another
// column of the file also has (without regard to case, as SQLite compares column names) takes
// the parameter's code, "Name (CODE)", on every column that shares it, and a name still taken
// after that a number, " 2", " 3", ... in column order. Pure functions, no state.

#include <string>
#include <vector>

namespace pontrel {

struct ParameterColumn {
    std::string name;  // ParameterName
    std::string code;  // ParameterCode
};

// The column names of `parameters`, in their order, none of which equals a name of `taken` (the
// file's other columns) or another's.
std::vector<std::string> parameterColumnNames(const std::vector<ParameterColumn>& parameters,
                                              const std::vector<std::string>& taken);

}  // namespace pontrel
