#pragma once
// How values become the bytes of dBASE attribute fields: numbers as right-aligned fixed-point
// text that reads back as the very same double, texts cut to the field width on a UTF-8 character
// boundary, dates as YYYYMMDD. Pure functions; the shapefile writer calls them per cell.

#include <cstddef>
#include <string>
#include <string_view>

namespace pontrel::shapefile {

// Width and decimals of an N field.
struct NumericLayout {
    int width = 0;
    int decimals = 0;
};

inline constexpr int kMaxFieldWidth = 255;  // one byte in the field descriptor
// Numeric columns always carry at least this many decimals, so that readers see every numeric
// column as a real number whatever its values (hours and values are held to 2 decimals).
inline constexpr int kMinimumDecimals = 2;
// Numeric columns always leave room for a sign and this many digits before the decimal point,
// although the values written may need fewer: a column sized to its values exactly would cut the
// values that users later type into it, or that a merge with another file brings.
inline constexpr int kMinimumIntegerDigits = 9;

// Finds the narrowest N field that writes every value of one column exactly and leaves the room
// above for later values.
class NumericColumnSizer {
public:
    explicit NumericColumnSizer(std::string column) : column_(std::move(column)) {}
    // Widens the layout for the value of `row`; throws ShapeFileError naming the column and the
    // row for a value that no N field holds exactly (infinite, not a number, or too long).
    void add(double value, std::size_t row) {
        if (value != 0) addNonZero(value, row);  // "0" is as narrow as a value can be
    }
    // Widens the layout for the values another sizer of the same column has seen. False, leaving
    // this one unchanged, when the layout would be too wide: adding those values one by one
    // names the row at which the column became too wide.
    bool merge(const NumericColumnSizer& other);
    // The layout for the values seen so far; a column without values gets the narrowest one.
    NumericLayout layout() const;

private:
    void addNonZero(double value, std::size_t row);

    std::string column_;
    int integerChars_ = 1 + kMinimumIntegerDigits;  // sign and digits before the decimal point
    int decimals_ = kMinimumDecimals;
};

// Writes `value` right-aligned into out[0, layout.width) with layout.decimals decimals. Returns
// false, leaving `out` unspecified, when the text would not fit or would not read back as
// exactly `value`.
bool formatNumeric(double value, NumericLayout layout, char* out);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end inside a UTF-8
// sequence.
std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes);

// Writes YYYYMMDD into out[0, 8); false for a year outside 1 to 9999 or an impossible date.
bool formatDate(int year, int month, int day, char* out);

// A double as the shortest text that reads back as it, for messages.
std::string numberText(double value);

}  // namespace pontrel::shapefile
