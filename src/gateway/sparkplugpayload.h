#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace zarnet::gateway::sparkplug {

// The datatypes this node gives its metrics, by their numbers on the wire.
enum class DataType : uint32_t { Int64 = 4, UInt32 = 7, Boolean = 11, String = 12 };

using Value = std::variant<uint32_t, int64_t, bool, QString>;

struct Metric {
    QString name;
    uint64_t alias = 0;
    DataType type = DataType::UInt32;
    std::optional<Value> value; // none: null

    Metric(QString name, uint64_t alias, Value value);
    // A null of `type`.
    Metric(QString name, uint64_t alias, DataType type);
};

// Births name each metric and give its datatype; data messages give the alias only.
enum class Naming { Birth, Data };

// A payload with `seq` (none in a death) and the time in milliseconds since 1970.
QByteArray encodePayload(const std::vector<Metric>& metrics, Naming naming, uint64_t timestampMs,
                         std::optional<uint8_t> seq);

// A value as a command gives it. Whole numbers of the signed types come as
// int64_t, those of the unsigned ones as uint64_t.
using CommandValue = std::variant<std::monostate, uint64_t, int64_t, bool, QString>;

// One metric a command writes: by name, or by the alias its birth gave it (the
// name empty); never neither.
struct Write {
    QString name;
    std::optional<uint64_t> alias;
    CommandValue value; // monostate: a null, or a type this node has no metric of
};

enum class CommandFault { Unreadable, NoMetrics, TooManyMetrics, Unnamed };

// The writes of an NCMD or DCMD payload.
std::variant<std::vector<Write>, CommandFault> readCommand(QByteArrayView payload);

inline constexpr int MaxCommandMetrics = 300;

} // namespace zarnet::gateway::sparkplug
