#include "sparkplugpayload.h"

#include "sparkplug.pb.h"

namespace zarnet::gateway::sparkplug {

namespace {

using Proto = zarnet::sparkplug::Payload;

// Whole numbers of these types travel in the unsigned fields as two's complement.
constexpr uint32_t Int8 = 1, Int16 = 2, Int32 = 3, Int64 = 4;

void put(Proto::Metric& out, const Value& value) {
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, uint32_t>)
                out.set_int_value(v);
            else if constexpr (std::is_same_v<T, int64_t>)
                out.set_long_value(uint64_t(v));
            else if constexpr (std::is_same_v<T, bool>)
                out.set_boolean_value(v);
            else
                out.set_string_value(v.toStdString());
        },
        value);
}

int64_t signExtended(uint64_t raw, uint32_t datatype) {
    switch (datatype) {
    case Int8:
        return int8_t(raw);
    case Int16:
        return int16_t(raw);
    case Int32:
        return int32_t(raw);
    default:
        return int64_t(raw);
    }
}

CommandValue valueOf(const Proto::Metric& metric) {
    if (metric.is_null())
        return {};
    const uint32_t type = metric.datatype();
    const bool signedType = type >= Int8 && type <= Int64;
    switch (metric.value_case()) {
    case Proto::Metric::kIntValue:
        return signedType ? CommandValue(signExtended(metric.int_value(), type))
                          : CommandValue(uint64_t(metric.int_value()));
    case Proto::Metric::kLongValue:
        return signedType ? CommandValue(signExtended(metric.long_value(), type))
                          : CommandValue(metric.long_value());
    case Proto::Metric::kBooleanValue:
        return metric.boolean_value();
    case Proto::Metric::kStringValue:
        return QString::fromStdString(metric.string_value());
    case Proto::Metric::kFloatValue:
    case Proto::Metric::kDoubleValue:
    case Proto::Metric::kBytesValue:
    case Proto::Metric::kDatasetValue:
    case Proto::Metric::kTemplateValue:
    case Proto::Metric::kExtensionValue:
    case Proto::Metric::VALUE_NOT_SET:
        break;
    }
    return {};
}

} // namespace

Metric::Metric(QString name_, uint64_t alias_, Value value_)
    : name(std::move(name_)), alias(alias_), value(std::move(value_)) {
    constexpr DataType types[] = {DataType::UInt32, DataType::Int64, DataType::Boolean,
                                  DataType::String};
    type = types[value->index()];
}

Metric::Metric(QString name_, uint64_t alias_, DataType type_)
    : name(std::move(name_)), alias(alias_), type(type_) {}

QByteArray encodePayload(const std::vector<Metric>& metrics, Naming naming, uint64_t timestampMs,
                         std::optional<uint8_t> seq) {
    Proto payload;
    payload.set_timestamp(timestampMs);
    if (seq)
        payload.set_seq(*seq);
    for (const Metric& metric : metrics) {
        Proto::Metric& out = *payload.add_metrics();
        out.set_alias(metric.alias);
        out.set_timestamp(timestampMs);
        if (naming == Naming::Birth) {
            out.set_name(metric.name.toStdString());
            out.set_datatype(uint32_t(metric.type));
        }
        if (metric.value)
            put(out, *metric.value);
        else
            out.set_is_null(true);
    }
    QByteArray bytes(qsizetype(payload.ByteSizeLong()), Qt::Uninitialized);
    payload.SerializeToArray(bytes.data(), int(bytes.size()));
    return bytes;
}

std::variant<std::vector<Write>, CommandFault> readCommand(QByteArrayView bytes) {
    Proto payload;
    if (!payload.ParseFromArray(bytes.data(), int(bytes.size())))
        return CommandFault::Unreadable;
    if (payload.metrics_size() == 0)
        return CommandFault::NoMetrics;
    if (payload.metrics_size() > MaxCommandMetrics)
        return CommandFault::TooManyMetrics;
    std::vector<Write> writes;
    writes.reserve(size_t(payload.metrics_size()));
    for (const Proto::Metric& metric : payload.metrics()) {
        if (metric.name().empty() && !metric.has_alias())
            return CommandFault::Unnamed;
        Write write;
        write.name = QString::fromStdString(metric.name());
        if (metric.has_alias())
            write.alias = metric.alias();
        write.value = valueOf(metric);
        writes.push_back(std::move(write));
    }
    return writes;
}

} // namespace zarnet::gateway::sparkplug
