#include "data/JetFunctionTable.h"

namespace pontrel::data::jet {

const FunctionInfo* findFunction(const std::string& upper) {
    static const FunctionInfo functions[] = {
        {"LEFT", "jet_left", 2, 2, JetType::Text, true},
        {"RIGHT", "jet_right", 2, 2, JetType::Text, true},
        {"MID", "jet_mid", 2, 3, JetType::Text, true},
        {"LEN", "jet_len", 1, 1, JetType::Number, true},
        {"TRIM", "jet_trim", 1, 1, JetType::Text, true},
        {"LTRIM", "jet_ltrim", 1, 1, JetType::Text, true},
        {"RTRIM", "jet_rtrim", 1, 1, JetType::Text, true},
        {"UCASE", "jet_ucase", 1, 1, JetType::Text, true},
        {"LCASE", "jet_lcase", 1, 1, JetType::Text, true},
        {"CSTR", "jet_cstr", 1, 1, JetType::Text, true},
        {"VAL", "jet_val", 1, 1, JetType::Number, true},
        {"INT", "jet_int", 1, 1, JetType::Unknown, false},
        {"FIX", "jet_fix", 1, 1, JetType::Unknown, false},
        {"CDBL", "jet_cdbl", 1, 1, JetType::Number, false},
        {"CLNG", "jet_clng", 1, 1, JetType::Number, false},
        {"CINT", "jet_cint", 1, 1, JetType::Number, false},
        {"CDATE", "jet_cdate", 1, 1, JetType::Date, false},
        {"CBOOL", "jet_cbool", 1, 1, JetType::Bool, false},
        {"CBYTE", "jet_cbyte", 1, 1, JetType::Number, false},
        {"CCUR", "jet_ccur", 1, 1, JetType::Number, false},
        {"CSNG", "jet_csng", 1, 1, JetType::Number, false},
        {"CDEC", "jet_cdec", 1, 1, JetType::Number, false},
        {"STR", "jet_str", 1, 1, JetType::Text, true},
        {"HEX", "jet_hex", 1, 1, JetType::Text, false},
        {"OCT", "jet_oct", 1, 1, JetType::Text, false},
        {"ABS", "jet_abs", 1, 1, JetType::Number, false},
        {"SGN", "jet_sgn", 1, 1, JetType::Number, false},
        {"SQR", "jet_sqr", 1, 1, JetType::Number, false},
        {"ROUND", "jet_round", 1, 2, JetType::Number, false},
        {"YEAR", "jet_year", 1, 1, JetType::Number, false},
        {"MONTH", "jet_month", 1, 1, JetType::Number, false},
        {"DAY", "jet_day", 1, 1, JetType::Number, false},
        {"HOUR", "jet_hour", 1, 1, JetType::Number, false},
        {"MINUTE", "jet_minute", 1, 1, JetType::Number, false},
        {"SECOND", "jet_second", 1, 1, JetType::Number, false},
        {"WEEKDAY", "jet_weekday", 1, 1, JetType::Number, false},
        {"DATESERIAL", "jet_dateserial", 3, 3, JetType::Date, false},
        {"DATEPART", "jet_datepart", 2, 3, JetType::Number, false},
        {"TIMESERIAL", "jet_timeserial", 3, 3, JetType::Date, false},
        {"DATEVALUE", "jet_datevalue", 1, 1, JetType::Date, false},
        {"TIMEVALUE", "jet_timevalue", 1, 1, JetType::Date, false},
        {"INSTR", "jet_instr", 2, 4, JetType::Number, false},
        {"REPLACE", "jet_replace", 3, 3, JetType::Text, true},
        {"SPACE", "jet_space", 1, 1, JetType::Text, false},
        {"CHR", "jet_chr", 1, 1, JetType::Text, false},
        {"CHRW", "jet_chrw", 1, 1, JetType::Text, false},
        {"ASC", "jet_asc", 1, 1, JetType::Number, true},
        {"ASCW", "jet_ascw", 1, 1, JetType::Number, true},
        {"DATEADD", "jet_dateadd", 3, 3, JetType::Date, false},
        {"DATEDIFF", "jet_datediff", 3, 4, JetType::Number, false},
        {"DATE", "jet_date", 0, 0, JetType::Date, false},
        {"NOW", "jet_now", 0, 0, JetType::Date, false},
        {"TIME", "jet_time", 0, 0, JetType::Date, false},
        {"FORMAT", "jet_format", 1, 2, JetType::Text, false},
        {"COUNT", "count", 1, 1, JetType::Number, false},
        {"SUM", "sum", 1, 1, JetType::Number, false},
        {"AVG", "avg", 1, 1, JetType::Number, false},
        {"MIN", "min", 1, 1, JetType::Unknown, false},
        {"MAX", "max", 1, 1, JetType::Unknown, false},
    };
    std::string name = upper;
    if (!name.empty() && name.back() == '$') name.pop_back();
    for (const FunctionInfo& f : functions)
        if (name == f.jet) return &f;
    return nullptr;
}

}  // namespace pontrel::data::jet
