#include "portcatalog.h"

#include <core/linkaddress.h>

#include <core/fieldnumber.h>

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace zarnet {

namespace {

struct SortKey {
    int group;
    QString stem;
    long long number;
};

SortKey sortKey(const QString& name) {
    static const QStringList groups = {u"ttyS"_s, u"ttyAMA"_s, u"ttyUSB"_s, u"ttyACM"_s};
    static const QRegularExpression split(u"^(.*?)(\\d*)$"_s);
    const auto match = split.match(name);
    const QString stem = match.captured(1);
    const QString digits = match.captured(2);
    const long long number = digits.isEmpty() ? -1 : digits.left(15).toLongLong();
    const int group = int(groups.indexOf(stem));
    return {group < 0 ? int(groups.size()) : group, stem, number};
}

bool isPseudoTerminal(const QString& name) {
    return name.startsWith(u"pts") || name.startsWith(u"ptmx") || name.startsWith(u"pty") ||
           name.startsWith(u"/dev/pts/");
}

} // namespace

QStringList orderSerialDevices(const QStringList& names) {
    QStringList kept;
    for (const QString& name : names)
        if (!isPseudoTerminal(name))
            kept.append(name);
    std::stable_sort(kept.begin(), kept.end(), [](const QString& a, const QString& b) {
        const SortKey ka = sortKey(a), kb = sortKey(b);
        if (ka.group != kb.group)
            return ka.group < kb.group;
        if (ka.stem != kb.stem)
            return ka.stem < kb.stem;
        return ka.number < kb.number;
    });
    return kept;
}

std::optional<QString> nthDevice(const QStringList& ordered, int number) {
    if (number < 1 || number > ordered.size())
        return std::nullopt;
    return ordered[number - 1];
}

std::optional<QString> SystemPortCatalog::device(const QString& portText) const {
    const QString text = portText.trimmed();
    if (isNetworkAddress(text))
        return text; // the link reads the address itself
#ifdef Q_OS_WIN
    if (text.startsWith(u"COM", Qt::CaseInsensitive) || text.startsWith(u"\\\\.\\"))
        return text;
    const auto number = fields::readInt16(text);
    if (!number || *number < 1)
        return std::nullopt;
    return u"COM%1"_s.arg(*number);
#else
    if (text.startsWith(u'/'))
        return text;
    const auto number = fields::readInt16(text);
    if (!number)
        return std::nullopt;
    const auto name = nthDevice(orderedDevices(), *number);
    if (!name)
        return std::nullopt;
    return u"/dev/"_s + *name;
#endif
}

QStringList SystemPortCatalog::orderedDevices() const {
    constexpr qint64 FreshForMs = 1000;
    if (!listed_.isValid() || listed_.elapsed() > FreshForMs) {
        QStringList names;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            names.append(info.portName());
        devices_ = orderSerialDevices(names);
        listed_.start();
    }
    return devices_;
}

} // namespace zarnet
