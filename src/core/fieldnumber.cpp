#include "fieldnumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace fields {

namespace {

// Converts the collected characters without regard to the C locale, which Qt
// sets from the environment (a comma decimal point would cut "2.5" to 2).
double toDouble(const std::string& number) {
    const char* first = number.data();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = number.find("e-") != std::string::npos ? 0.0 : HUGE_VAL;
    return negative ? -value : value;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Collects the characters of one number starting at `pos`: sign, digits, a
// decimal point with digits, an exponent with digits. Returns how many digits
// the mantissa has, so that "-" or "." alone is not taken for a number.
int scanNumber(const QString& text, qsizetype& pos, std::string& out, bool skipInnerBlanks) {
    auto skip = [&] {
        while (skipInnerBlanks && pos < text.size() && isBlank(text[pos]))
            ++pos;
    };
    int mantissaDigits = 0;
    skip();
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        out += char(text[pos].unicode());
        ++pos;
    }
    skip();
    while (pos < text.size() && isDigit(text[pos])) {
        out += char(text[pos].unicode());
        ++pos;
        ++mantissaDigits;
        skip();
    }
    if (pos < text.size() && text[pos] == u'.') {
        out += '.';
        ++pos;
        skip();
        while (pos < text.size() && isDigit(text[pos])) {
            out += char(text[pos].unicode());
            ++pos;
            ++mantissaDigits;
            skip();
        }
    }
    if (mantissaDigits == 0)
        return 0;
    // The exponent counts only when at least one digit follows it.
    if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
        qsizetype at = pos + 1;
        std::string exponent = "e";
        auto skipAt = [&] {
            while (skipInnerBlanks && at < text.size() && isBlank(text[at]))
                ++at;
        };
        skipAt();
        if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
            exponent += char(text[at].unicode());
            ++at;
        }
        skipAt();
        bool digits = false;
        while (at < text.size() && isDigit(text[at])) {
            exponent += char(text[at].unicode());
            ++at;
            digits = true;
            skipAt();
        }
        if (digits) {
            out += exponent;
            pos = at;
        }
    }
    return mantissaDigits;
}

} // namespace

std::optional<int64_t> roundToRange(double value, int64_t min, int64_t max) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default mode: halves to even
    if (rounded < double(min) || rounded > double(max))
        return std::nullopt;
    return int64_t(rounded);
}

std::optional<int> readWholeNumber(const QString& text, int min, int max) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    std::string number;
    if (scanNumber(text, pos, number, false) == 0)
        return std::nullopt;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return std::nullopt;
    const auto value = roundToRange(toDouble(number), min, max);
    if (!value)
        return std::nullopt;
    return int(*value);
}

std::optional<int16_t> readInt16(const QString& text) {
    const auto value = readWholeNumber(text, INT16_MIN, INT16_MAX);
    if (!value)
        return std::nullopt;
    return int16_t(*value);
}

std::optional<uint8_t> readByte(const QString& text) {
    const auto value = readWholeNumber(text, 0, 255);
    if (!value)
        return std::nullopt;
    return uint8_t(*value);
}

double readLeadingNumber(const QString& text) {
    qsizetype pos = 0;
    std::string number;
    if (scanNumber(text, pos, number, true) == 0)
        return 0.0;
    return toDouble(number);
}

} // namespace fields
