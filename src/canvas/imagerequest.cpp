#include "imagerequest.h"

#include "dotcanvas.h"
#include "songfont.h"

#include <core/imageframe.h>

namespace zarnet {

namespace {

std::variant<DotWindow, fields::Refusal> requestWindow(const ImageRequest& request) {
    auto window = request.window;
    window[0] = alignDown(window[0], 2).value_or(window[0]);
    window[2] = alignDown(window[2], 8).value_or(window[2]);
    return readDotWindow(window[0], window[1], window[2], window[3]);
}

std::variant<ScheduleBytes, fields::Refusal> requestSchedule(const ImageRequest& request) {
    if (request.mode == ScheduleMode::Always)
        return ScheduleBytes{};
    return encodeSchedule(request.mode, request.start, request.end);
}

} // namespace

std::optional<ImageRefusal> checkImageRequest(const ImageRequest& request) {
    if (request.picture && !DotCanvas::canLoadPictureData(*request.picture))
        return ImageRefusal{};
    const auto window = requestWindow(request);
    if (const auto* refusal = std::get_if<fields::Refusal>(&window))
        return ImageRefusal{*refusal};
    const auto schedule = requestSchedule(request);
    if (const auto* refusal = std::get_if<fields::Refusal>(&schedule))
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
    const DotWindow w = std::get<DotWindow>(requestWindow(request));
    return dotImageFrame(device, std::get<ScheduleBytes>(requestSchedule(request)), w,
                         getDotData(canvas, w.bytesPerRow, w.rows));
}

} // namespace zarnet
