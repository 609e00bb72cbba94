#include "modetexts.h"

#include <QCoreApplication>
#include <array>

using namespace Qt::StringLiterals;

namespace zarnet {

ModeTexts modeTexts(ScheduleMode mode) {
    struct Source {
        const char* explanation;
        const char* example;
        const char* meaning;
        QString start;
        QString end;
    };
    static const std::array<Source, 4> table = {{
        {QT_TRANSLATE_NOOP("ScheduleMode", "永久显示，不受时间段控制"), nullptr, nullptr, u"0"_s,
         u"0"_s},
        {QT_TRANSLATE_NOOP("ScheduleMode", "在每天指定的时间段内显示"),
         QT_TRANSLATE_NOOP("ScheduleMode", "示例：0845 -- 2130 表示："),
         QT_TRANSLATE_NOOP("ScheduleMode", "每天8:45到21:30之间显示"), u"0845"_s, u"2130"_s},
        {QT_TRANSLATE_NOOP("ScheduleMode", "在每星期指定的日期内显示"),
         QT_TRANSLATE_NOOP("ScheduleMode", "示例：0 -- 2 表示：每周的"),
         QT_TRANSLATE_NOOP("ScheduleMode", "星期日、一、二这三天显示"), u"0"_s, u"2"_s},
        {QT_TRANSLATE_NOOP("ScheduleMode", "在每月指定的日期内显示"),
         QT_TRANSLATE_NOOP("ScheduleMode", "示例：5 -- 15 表示：每月"),
         QT_TRANSLATE_NOOP("ScheduleMode", "5号到15号这11天之间显示"), u"5"_s, u"15"_s},
    }};
    const Source& source = table[size_t(mode)];
    auto translated = [](const char* text) {
        return text ? QCoreApplication::translate("ScheduleMode", text) : QString();
    };
    return {translated(source.explanation), translated(source.example), translated(source.meaning),
            source.start, source.end};
}

} // namespace zarnet
