// Any text typed or pasted into a field.
#include <core/fieldnumber.h>

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto value = fields::readWholeNumber(text, -32768, 32767))
        if (*value < -32768 || *value > 32767)
            std::abort();
    if (const auto byte = fields::readByte(text); byte && *byte > 255)
        std::abort();
    const double leading = fields::readLeadingNumber(text);
    if (std::isnan(leading))
        std::abort();
    if (const auto unit = fields::roundToRange(leading, 0, 2147483647))
        if (*unit < 0 || *unit > 2147483647)
            std::abort();
    return 0;
}
