// The pure work behind a request: packing the canvas, building the largest
// frame, parsing a reply, reading a field, drawing the text.
#include <canvas/dotcanvas.h>
#include <canvas/songfont.h>
#include <core/fieldnumber.h>
#include <core/imageframe.h>
#include <core/reply.h>

#include <QGuiApplication>
#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

// Seconds the line takes for `bytes` at 115200 baud, 10 bits a byte (8N1).
double wireSeconds(int bytes) {
    return bytes * 10.0 / 115200.0;
}

// What the same bytes take on the line, beside the measured time.
void reportAgainstWire(benchmark::State& state, int bytes) {
    state.counters["wire_us"] = wireSeconds(bytes) * 1e6;
}

void LargestImageFrame(benchmark::State& state) {
    zarnet::DotCanvas canvas;
    canvas.drawText(u"生产一线 二号线 产量 1520"_s);
    for (auto _ : state) {
        const zarnet::DotWindow window{0, 0, 32, 64};
        const QByteArray frame = zarnet::dotImageFrame(255, {0x12, 0x0D, 0x05, 0x0A}, window,
                                                       zarnet::getDotData(canvas, 32, 64));
        benchmark::DoNotOptimize(frame.constData());
    }
    reportAgainstWire(state, 2064);
}
BENCHMARK(LargestImageFrame);

void ParseUnitReply(benchmark::State& state) {
    const QByteArray reply = QByteArray::fromHex(
        "020032EE00300000000000010000000200000003000000040000000500000006000000070000000800000009"
        "0000000A0003");
    for (auto _ : state)
        benchmark::DoNotOptimize(zarnet::parseReply(reply).values.size());
    reportAgainstWire(state, int(reply.size()));
}
BENCHMARK(ParseUnitReply);

void ReadByteField(benchmark::State& state) {
    const QString text = u" 255 "_s;
    for (auto _ : state)
        benchmark::DoNotOptimize(fields::readByte(text));
}
BENCHMARK(ReadByteField);

void ReadUnitValue(benchmark::State& state) {
    const QString text = u"99999999"_s;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            fields::roundToRange(fields::readLeadingNumber(text), 0, 2147483647));
}
BENCHMARK(ReadUnitValue);

void DrawStartUpText(benchmark::State& state) {
    zarnet::DotCanvas canvas;
    for (auto _ : state) {
        canvas.drawText(u"生产一线"_s);
        benchmark::DoNotOptimize(canvas.image().constBits());
    }
}
BENCHMARK(DrawStartUpText);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    zarnet::installSongSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
