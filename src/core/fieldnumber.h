#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Numbers read from the texts of the window's fields.
//
// Whole-number fields allow blanks around one number (sign, digits, an optional
// fraction and exponent); a fraction goes to the nearest whole number and an
// exact half to the even neighbour. Unit values are read from the number at the
// start of the text instead, and an unreadable text gives 0.
namespace fields {

// The value of a whole-number text, rounded half to even; nullopt when the text
// is not one number or the rounded value lies outside [min, max].
std::optional<int> readWholeNumber(const QString& text, int min, int max);

// A whole number that fits a signed 16-bit field.
std::optional<int16_t> readInt16(const QString& text);

// A whole number that fits one unsigned byte.
std::optional<uint8_t> readByte(const QString& text);

// The number at the start of the text: blanks anywhere are skipped, "." is the
// decimal point, an exponent is taken when digits follow it, and reading stops
// at the first character that cannot continue the number. No number gives 0.
double readLeadingNumber(const QString& text);

// Rounds half to even and checks the result lies in [min, max].
std::optional<int64_t> roundToRange(double value, int64_t min, int64_t max);

} // namespace fields
