#include "config.h"
#include "configfault.h"

#include <core/faultwords.h>

using namespace Qt::StringLiterals;

namespace zarnet::gateway {

namespace {

QString certificateWords(const CertificateProblem& problem, const QString& cert,
                         const QString& key) {
    switch (problem.fault) {
    case CertificateFault::NoCertificate:
        return u"cert_file: %1 holds no PEM certificate"_s.arg(cert);
    case CertificateFault::NoKey:
        return u"key_file: %1 holds no PEM private key, or key_password_file does not open it"_s
            .arg(key);
    case CertificateFault::KeyMismatch:
        return u"cert_file: the certificate in %1 does not match the key in %2"_s.arg(cert, key);
    case CertificateFault::Expired:
        return u"cert_file: the certificate in %1 expired on %2"_s.arg(
            cert, problem.when.toString(Qt::ISODate));
    case CertificateFault::NotYetValid:
        return u"cert_file: the certificate in %1 is valid only from %2"_s.arg(
            cert, problem.when.toString(Qt::ISODate));
    }
    return {};
}

// The finding's cause in words, where it has one.
QString causeWords(const ConfigFinding& finding) {
    if (const auto* file = std::get_if<FileProblem>(&finding.cause))
        return describe(*file);
    if (const auto* refusal = std::get_if<PayloadRefusal>(&finding.cause))
        return describe(*refusal);
    if (const auto* address = std::get_if<AddressFault>(&finding.cause))
        return zarnet::describe(*address);
    if (const auto* certificate = std::get_if<CertificateProblem>(&finding.cause))
        return certificateWords(*certificate, finding.detail.value(0), finding.detail.value(1));
    return {};
}

// The words of a fault, with %1… for its detail.
QString pattern(ConfigFault fault) {
    switch (fault) {
    case ConfigFault::Syntax:
        return u"%1"_s;
    case ConfigFault::UnknownKey:
        return u"unknown key \"%1\" in %2"_s;
    case ConfigFault::UnknownTopKey:
        return u"unknown key \"%1\" in the file"_s;
    case ConfigFault::NotText:
        return u"%1 takes a text in quotes"_s;
    case ConfigFault::NotWholeNumber:
        return u"%1 takes a whole number %2..%3"_s;
    case ConfigFault::NotTable:
        return u"%1 takes a table: [%1]"_s;
    case ConfigFault::NotTables:
        return u"%1 takes tables: [[%1]]"_s;
    case ConfigFault::FileUnreadable:
        return u"%1: %2"_s;
    case ConfigFault::Certificate:
        return u"%1"_s;
    case ConfigFault::LinkAddress:
        return u"link: %1"_s;
    case ConfigFault::SecretUnreadable:
        return u"%1: %2; the service's user may still read it: check the configuration as that "
               u"user "
               "(sudo -u zarnet zarnetd --check-config …)"_s;
    case ConfigFault::ReadableByAll:
        return u"%1 %2 can be read by every user of this machine; let only the service's user "
               "read it (chmod 600)"_s;
    case ConfigFault::KeyPasswordAlone:
        return u"key_password_file goes with key_file"_s;
    case ConfigFault::CertificateHalf:
        return u"cert_file and key_file go together"_s;
    case ConfigFault::CertificateWithoutTls:
        return u"cert_file goes with an mqtts:// url"_s;
    case ConfigFault::UrlForm:
        return u"url takes mqtt://HOST:PORT or mqtts://HOST:PORT"_s;
    case ConfigFault::UrlWithUser:
        return u"url: put the user in username and the password in password_file"_s;
    case ConfigFault::ClientIdForm:
        return u"client_id takes a name of at most %1 bytes without /, +, # or control "
               "characters"_s.arg(MaxNameBytes);
    case ConfigFault::PasswordWithoutUser:
        return u"password_file needs a username"_s;
    case ConfigFault::CaWithoutTls:
        return u"ca_file goes with an mqtts:// url"_s;
    case ConfigFault::CaUnreadable:
        return u"ca_file: cannot read %1"_s;
    case ConfigFault::PrefixForm:
        return u"prefix takes topic levels without +, #, control characters or empty levels, "
               "at most %1 bytes"_s.arg(MaxNameBytes);
    case ConfigFault::ListenNotText:
        return u"listen takes a text in quotes, such as \"127.0.0.1:%1\""_s;
    case ConfigFault::ListenForm:
        return u"listen takes an address and a port, such as 127.0.0.1:%1 or [::1]:%1"_s;
    case ConfigFault::TokenCharacters:
        return u"token_file: the token may hold letters, digits and . _ ~ + / = - only"_s;
    case ConfigFault::TokenShort:
        return u"token_file: the token has %1 characters; give it at least 16"_s;
    case ConfigFault::ListenNeedsToken:
        return u"listen on %1 reaches beyond this machine: give a token_file"_s;
    case ConfigFault::DiscoveryNotBoolean:
        return u"discovery takes true or false"_s;
    case ConfigFault::DiscoveryPrefixForm:
        return u"prefix takes topic levels without +, # or empty levels"_s;
    case ConfigFault::TopicNameForm:
        return u"%1 takes a name without /, +, # or control characters"_s;
    case ConfigFault::NodeWithStandby:
        return u"with [standby] leave edge_node_id out: each gateway is a node named by its "
               "client_id"_s;
    case ConfigFault::NameForm:
        return u"name takes 1 to 64 letters, digits, - and _"_s;
    case ConfigFault::GroupNamedLikeSign:
        return u"\"%1\" is a sign's name too"_s;
    case ConfigFault::GroupSignsMissing:
        return u"signs takes a list of sign names, such as [\"press1\", \"press2\"]"_s;
    case ConfigFault::GroupMemberForm:
        return u"signs takes a list of sign names"_s;
    case ConfigFault::GroupMemberTwice:
        return u"\"%1\" is listed twice"_s;
    case ConfigFault::GroupTwice:
        return u"a second group named \"%1\""_s;
    case ConfigFault::GroupMemberElsewhere:
        return u"group \"%1\": \"%2\" is not a sign of this gateway; another gateway must "
               "serve it"_s;
    case ConfigFault::SignNamedGroup:
        return u"with [[group]] no sign may be named \"group\""_s;
    case ConfigFault::ImageNotTable:
        return u"%1 takes a table: { text = …, window = […], schedule = … }"_s;
    case ConfigFault::ImageTooDeep:
        return u"%1 nests more than "_s + QString::number(MaxImageDepth) + u" levels deep"_s;
    case ConfigFault::ImageFor:
        return u"%1: for belongs to image/set commands; a configured image stays"_s;
    case ConfigFault::ImageSources:
        return u"%1 takes one of text, bmp or bmp_file"_s;
    case ConfigFault::ImageFile:
        return u"%1: bmp_file: %2"_s;
    case ConfigFault::ImageRefused:
        return u"%1: %2"_s;
    case ConfigFault::DurationForm:
        return u"%1: takes a time such as \"90s\", \"10m\" or \"2h\", 1 s to 7 days"_s;
    case ConfigFault::UnitMaxAgeForm:
        return u"units.%1.max_age: takes a time such as \"90s\", \"10m\" or \"2h\", 1 s to 7 "
               "days, or \"off\""_s;
    case ConfigFault::TimeOfDayForm:
        return u"%1 takes a time of day as \"hh:mm\""_s;
    case ConfigFault::UnitNameForm:
        return u"units.%1.name takes letters, digits, - and _, at most 64, not all digits, and "
               "not \"set\""_s;
    case ConfigFault::UnitNameTaken:
        return u"units.%1.name: \"%2\" is also the name of another unit, on line %3"_s;
    case ConfigFault::UnitNameUsedAgain:
        return u"a unit name used again on line %1"_s;
    case ConfigFault::UnitsNotTable:
        return u"units takes a table: units.N.max_age = \"10m\", units.N.name = \"plan\""_s;
    case ConfigFault::UnitKeyForm:
        return u"units.%1: give a unit 0..255 and its settings, such as units.3.max_age = "
               "\"30s\""_s;
    case ConfigFault::StaleForm:
        return u"stale takes \"keep\", { value = N } or { image = { … } }"_s;
    case ConfigFault::StaleUnwatched:
        return u"stale needs a max_age, for the sign or a unit"_s;
    case ConfigFault::PowerForm:
        return u"power takes { on = \"hh:mm\", off = \"hh:mm\", days = \"mon-sun\" }"_s;
    case ConfigFault::PowerHalf:
        return u"power needs both on and off"_s;
    case ConfigFault::PowerSameTime:
        return u"power: on and off are the same time"_s;
    case ConfigFault::DaysForm:
        return u"days takes day names mon..sun, ranges such as mon-fri, a list such as "
               "mon,wed,fri, or daily"_s;
    case ConfigFault::LinkForm:
        return u"link takes a port number, a device path or tcp://HOST:PORT"_s;
    case ConfigFault::LineLinkForm:
        return u"link takes the link of the signs on the line"_s;
    case ConfigFault::ModbusUnitWithoutListener:
        return u"modbus_unit needs a [modbus] table with listen"_s;
    case ConfigFault::ModbusUnitTaken:
        return u"modbus_unit %1 is taken by sign \"%2\""_s;
    case ConfigFault::ModbusServesNone:
        return u"[modbus] serves no sign: give signs a modbus_unit"_s;
    case ConfigFault::LineTwice:
        return u"a second [[line]] for link %1 (line %2)"_s;
    case ConfigFault::DeviceTwiceOnLine:
        return u"sign \"%1\" has device %2 on the link of sign \"%3\" (line %4): each "
               "controller on a line needs a number of its own"_s;
    case ConfigFault::BroadcastOnSharedLine:
        return u"sign \"%1\" shares its link with sign \"%2\" (line %3), and device 255 "
               "reaches every controller on a line: give each sign on a shared link a number "
               "0..254"_s;
    case ConfigFault::LineServesNone:
        return u"[[line]] for link %1 serves no sign: no sign has that link"_s;
    case ConfigFault::LineServesNoneAbsent:
        return u"[[line]] for link %1 serves no sign: no sign has that link (it does not exist "
               "now, so it was compared as written)"_s;
    case ConfigFault::NoSign:
        return u"no sign: give each one in a [[sign]] table"_s;
    case ConfigFault::SignTwice:
        return u"a second sign named \"%1\""_s;
    case ConfigFault::SignNamedLease:
        return u"with [standby] no sign may be named \"lease\""_s;
    case ConfigFault::UnitNamedMetric:
        return u"with [sparkplug] no unit may be named \"%1\": it is a metric of every sign"_s;
    }
    return {};
}

// Puts the values in at once, so that a % in a name is never read as a place; a
// value the words have no place for is left out.
QString fill(const QString& pattern, const QStringList& given) {
    qsizetype places = 0;
    while (places < given.size() && pattern.contains(u'%' + QString::number(places + 1)))
        ++places;
    const QStringList values = given.first(places);
    switch (values.size()) {
    case 0:
        return pattern;
    case 1:
        return pattern.arg(values[0]);
    case 2:
        return pattern.arg(values[0], values[1]);
    case 3:
        return pattern.arg(values[0], values[1], values[2]);
    default:
        return pattern.arg(values[0], values[1], values[2], values[3]);
    }
}

} // namespace

QString describe(const ConfigFinding& finding) {
    QStringList values = finding.fault == ConfigFault::Certificate ? QStringList() : finding.detail;
    if (!std::holds_alternative<std::monostate>(finding.cause))
        values.append(causeWords(finding));
    return fill(pattern(finding.fault), values);
}

QString describe(const ConfigFinding& finding, const QString& path) {
    return u"%1:%2: %3"_s.arg(path, QString::number(finding.line), describe(finding));
}

QStringList describe(const QList<ConfigFinding>& findings, const QString& path) {
    QStringList out;
    for (const ConfigFinding& finding : findings)
        out.append(describe(finding, path));
    return out;
}

} // namespace zarnet::gateway
