#pragma once
// How a field becomes a number. Numeric fields are taken as the number they hold; texts are read
// by the leading-number rule (blanks anywhere ignored, a sign, digits with one period, an
// exponent, &H and &O prefixes; the first other character ends the number). Cells are rounded to
// 2 decimals on the number's shortest decimal form, a tie going to the even digit.

#include <string_view>

#include "source/Connection.h"

namespace pontrel {


double leadingNumber(std::string_view text);
double roundTo2Decimals(double value);

// The field's number at full precision (coordinates) and rounded (hours and values). The field
// must not be null.
double fieldNumber(const data::Recordset& rows, int index);
// The same for a value read already (not null).
double fieldNumber(const data::Recordset::Value& value);
inline double fieldNumberRounded(const data::Recordset& rows, int index) {
    return roundTo2Decimals(fieldNumber(rows, index));
}

}  // namespace pontrel
