#pragma once

// Why a request cannot be built: the input that is unusable. The window and the
// CLI each tell it in their own words, from one table each.
namespace fields {

enum class Field {
    DownloadStart, // the start unit of a unit write
    DownloadCount, // how many values a unit write carries
    UnitValue,     // one of them: see Refusal::index
    ReadStart,
    ReadCount,
    XStart,
    YStart,
    Width,
    Height,
    ImageSize, // width / 8 × height beyond the image buffer
    DailyStart,
    DailyEnd,
    RangeStart, // weekdays or days of the month
    RangeEnd,
};

struct Refusal {
    Field field;
    int index = 0; // which value, for Field::UnitValue

    bool operator==(const Refusal&) const = default;
};

} // namespace fields
