#pragma once

#include "clientcertificate.h"
#include "payloads.h"
#include "regularfile.h"

#include <core/linkaddress.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <variant>

namespace zarnet::gateway {

// What is wrong with a configuration, or worth a word about it. `detail` holds the
// keys, names and numbers its words name, in the order the words name them.
enum class ConfigFault {
    Syntax,           // the parser's description
    UnknownKey,       // key, the table it is in
    UnknownTopKey,    // key
    NotText,          // key
    NotWholeNumber,   // key, least, most
    NotTable,         // key: takes [key]
    NotTables,        // key: takes [[key]]
    FileUnreadable,   // key; the file's problem
    SecretUnreadable, // key; the file's problem, and the service's user might read it
    ReadableByAll,    // key, path (a warning)
    Certificate,      // cert_file, key_file; the certificate's problem
    KeyPasswordAlone,
    CertificateHalf,
    CertificateWithoutTls,
    UrlForm,
    UrlWithUser,
    ClientIdForm,
    PasswordWithoutUser,
    CaWithoutTls,
    CaUnreadable, // path
    PrefixForm,
    ListenNotText, // the example's port
    ListenForm,    // the example's port
    TokenCharacters,
    TokenShort,       // its length
    ListenNeedsToken, // host
    DiscoveryNotBoolean,
    DiscoveryPrefixForm,
    TopicNameForm, // key
    NodeWithStandby,
    NameForm,
    GroupNamedLikeSign, // name
    GroupSignsMissing,
    GroupMemberForm,
    GroupMemberTwice,     // name
    GroupTwice,           // name
    GroupMemberElsewhere, // group, member (a warning)
    SignNamedGroup,
    ImageNotTable,     // key
    ImageTooDeep,      // key
    ImageFor,          // key
    ImageSources,      // key
    ImageFile,         // key; the file's problem
    ImageRefused,      // key; the refusal
    DurationForm,      // key
    UnitMaxAgeForm,    // unit
    TimeOfDayForm,     // key
    UnitNameForm,      // unit
    UnitNameTaken,     // unit, name, the other's line
    UnitNameUsedAgain, // the line it is used again on
    UnitsNotTable,
    UnitKeyForm, // the key
    StaleForm,
    StaleUnwatched,
    PowerForm,
    PowerHalf,
    PowerSameTime,
    DaysForm,
    LinkForm,
    LinkAddress, // the address's fault
    LineLinkForm,
    ModbusUnitWithoutListener,
    ModbusUnitTaken, // unit, sign
    ModbusServesNone,
    LineTwice,             // link, the first's line
    DeviceTwiceOnLine,     // sign, device, other sign, its line
    BroadcastOnSharedLine, // sign, other sign, its line
    LineServesNone,        // link
    LineServesNoneAbsent,  // link (a warning: the link is not there to compare)
    NoSign,
    SignTwice, // name
    SignNamedLease,
    UnitNamedMetric, // name
};
inline constexpr ConfigFault LastConfigFault = ConfigFault::UnitNamedMetric;

struct ConfigFinding {
    ConfigFault fault = ConfigFault::Syntax;
    int line = 0;
    QStringList detail;
    std::variant<std::monostate, FileProblem, CertificateProblem, PayloadRefusal, AddressFault>
        cause;
};

// What the finding says, in English.
QString describe(const ConfigFinding& finding);
// "PATH:LINE: what", as --check-config and the log give it.
QString describe(const ConfigFinding& finding, const QString& path);
QStringList describe(const QList<ConfigFinding>& findings, const QString& path);

} // namespace zarnet::gateway
