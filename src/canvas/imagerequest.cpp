#include "imagerequest.h"

#include "dotcanvas.h"
#include "songfont.h"

#include <core/imageframe.h>

namespace zarnet {

namespace {

// X made even and W a multiple of 8, as the window does when those fields are left.
ImagePlacement requestPlacement(const ImageRequest& request) {
    ImagePlacement placement{request.window, request.mode, request.start, request.end};
    auto& window = placement.window;
    window[0] = alignDown(window[0], 2).value_or(window[0]);
    window[2] = alignDown(window[2], 8).value_or(window[2]);
    return placement;
}

struct ReadPlacement {
    DotWindow window;
    ScheduleBytes schedule;
};

// The window read first, then the schedule (Always reads no fields).
std::variant<ReadPlacement, fields::Refusal> readPlacement(const ImagePlacement& placement) {
    const auto& fieldsText = placement.window;
    const auto window = readDotWindow(fieldsText[0], fieldsText[1], fieldsText[2], fieldsText[3]);
    if (const auto* refusal = std::get_if<fields::Refusal>(&window))
        return *refusal;
    const auto schedule = encodeSchedule(placement.mode, placement.start, placement.end);
    if (const auto* refusal = std::get_if<fields::Refusal>(&schedule))
        return *refusal;
    return ReadPlacement{std::get<DotWindow>(window), std::get<ScheduleBytes>(schedule)};
}

} // namespace

std::variant<QByteArray, fields::Refusal> canvasImageFrame(uint8_t device, const DotCanvas& canvas,
                                                           const ImagePlacement& placement) {
    const auto read = readPlacement(placement);
    if (const auto* refusal = std::get_if<fields::Refusal>(&read))
        return *refusal;
    const auto& [w, schedule] = std::get<ReadPlacement>(read);
    return dotImageFrame(device, schedule, w, getDotData(canvas, w.bytesPerRow, w.rows));
}

std::optional<ImageRefusal> checkImageRequest(const ImageRequest& request) {
    if (request.picture && !DotCanvas::canLoadPictureData(*request.picture))
        return ImageRefusal{};
    const auto read = readPlacement(requestPlacement(request));
    if (const auto* refusal = std::get_if<fields::Refusal>(&read))
        return ImageRefusal{*refusal};
    return std::nullopt;
}

// The fields are read before anything is drawn: a refused request costs no drawing.
std::variant<QByteArray, ImageRefusal> buildImageFrame(uint8_t device,
                                                       const ImageRequest& request) {
    if (const auto refusal = checkImageRequest(request))
        return *refusal;
    DotCanvas canvas;
    if (request.picture) {
        if (!canvas.loadPictureData(*request.picture))
            return ImageRefusal{};
    } else {
        QFont font = songFont(12);
        if (!request.family.isEmpty())
            font.setFamily(request.family);
        font.setPointSizeF(request.pointSize);
        canvas.setFont(font);
        canvas.drawText(request.text.value_or(QString()));
    }
    const auto frame = canvasImageFrame(device, canvas, requestPlacement(request));
    if (const auto* refusal = std::get_if<fields::Refusal>(&frame))
        return ImageRefusal{*refusal};
    return std::get<QByteArray>(frame);
}

} // namespace zarnet
