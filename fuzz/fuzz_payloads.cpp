// Anything a plant system may publish, write into the service's configuration, or
// send to its Modbus TCP port, its web server or its Sparkplug node.
// The first byte picks the reader; the rest is the payload.
#include <gateway/config.h>
#include <gateway/httprequest.h>
#include <gateway/modbusframe.h>
#include <gateway/sign.h>
#include <gateway/signregisters.h>
#include <gateway/sparkplugpayload.h>
#include <gateway/topics.h>

#include <QCoreApplication>
#include <gateway/payloads.h>

#include <cstdlib>

using namespace zarnet;
using namespace zarnet::gateway;

namespace {

void topic(const QByteArray& payload) {
    const auto read = readCommandTopic(QStringLiteral("zarnet"), QString::fromUtf8(payload));
    if (const auto* command = std::get_if<CommandTopic>(&read);
        command && command->sign.contains(u'/'))
        std::abort();
}

// Every refusal can be put into words.
void worded(const PayloadRefusal* refusal) {
    if (refusal && describe(*refusal).isEmpty())
        std::abort();
}

void batch(const QByteArray& payload) {
    const auto read = readUnitBatch(payload);
    if (const auto* values = std::get_if<std::map<uint8_t, uint32_t>>(&read);
        values && values->empty())
        std::abort();
    worded(std::get_if<PayloadRefusal>(&read));
}

void clock(const QByteArray& payload) {
    const auto read = readClock(payload);
    if (const auto* at = std::get_if<std::optional<QDateTime>>(&read); at && *at)
        if ((*at)->date().year() < 2000 || (*at)->date().year() > 2099)
            std::abort();
}

void image(const QByteArray& payload) {
    const auto read = readImageRequest(payload);
    if (const auto* request = std::get_if<ImageRequest>(&read))
        if (request->text.has_value() == request->picture.has_value() ||
            !(request->pointSize > 0) || request->pointSize > MaxPointSize)
            std::abort();
    worded(std::get_if<PayloadRefusal>(&read));
}

// A configuration is read, or refused with findings that each have a line and words.
void config(const QByteArray& payload) {
    const auto read = readConfig(payload, QStringLiteral("fuzz.toml"));
    if (const auto* faults = std::get_if<QList<ConfigFinding>>(&read))
        for (const ConfigFinding& fault : *faults)
            if (fault.line < 1 || describe(fault).isEmpty())
                std::abort();
}

// A sign that is never started: only its table takes the writes.
Sign& fuzzedSign() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static PlantClock clock;
    static Sign sign(SignConfig{}, clock);
    return sign;
}

// Request after request, as the service cuts a Modbus TCP stream, each answered
// with the function code it asked for (or its exception).
void modbus(const QByteArray& payload) {
    static SignRegisters registers;
    QByteArrayView rest(payload);
    for (;;) {
        const auto read = readAdu(rest);
        const auto* adu = std::get_if<ModbusAdu>(&read);
        if (!adu)
            return;
        if (adu->size < 8 || adu->size > rest.size() || adu->size > 260 ||
            adu->request.dataSize() != adu->size - 8)
            std::abort();
        const QModbusResponse response = registers.answer(adu->request, fuzzedSign());
        if (!response.isValid() || response.functionCode() != adu->request.functionCode())
            std::abort();
        aduBytes(adu->transaction, adu->unit, response);
        rest = rest.sliced(adu->size);
    }
}

void http(const QByteArray& payload) {
    const auto read = readHttpRequest(payload);
    if (const auto* request = std::get_if<HttpRequest>(&read))
        if (request->size > payload.size() || request->size > MaxHeadBytes ||
            !request->path.startsWith(u'/') || request->path.contains(u"/../"))
            std::abort();
}

// A Sparkplug command, and a birth of what it wrote read back as a command.
void sparkplugCommand(const QByteArray& payload) {
    const auto read = sparkplug::readCommand(payload);
    const auto* writes = std::get_if<std::vector<sparkplug::Write>>(&read);
    if (!writes)
        return;
    if (writes->empty() || writes->size() > size_t(sparkplug::MaxCommandMetrics))
        std::abort();
    std::vector<sparkplug::Metric> metrics;
    for (const sparkplug::Write& write : *writes) {
        if (write.name.isEmpty() && !write.alias)
            std::abort();
        if (const auto* text = std::get_if<QString>(&write.value))
            metrics.emplace_back(write.name, write.alias.value_or(0), *text);
    }
    if (metrics.empty())
        return;
    const auto again =
        sparkplug::readCommand(encodePayload(metrics, sparkplug::Naming::Birth, 1, std::nullopt));
    if (!std::holds_alternative<std::vector<sparkplug::Write>>(again) ||
        std::get<std::vector<sparkplug::Write>>(again).size() != metrics.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray payload(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 10) {
    case 0:
        topic(payload);
        break;
    case 1:
        readUnitValue(payload);
        break;
    case 2:
        batch(payload);
        break;
    case 3:
        readPower(payload);
        break;
    case 4:
        clock(payload);
        break;
    case 5:
        image(payload);
        break;
    case 6:
        config(payload);
        break;
    case 7:
        modbus(payload);
        break;
    case 8:
        http(payload);
        break;
    default:
        sparkplugCommand(payload);
        break;
    }
    return 0;
}
