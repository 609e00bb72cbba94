#include "imagerequest.h"

#include "dotcanvas.h"
#include "songfont.h"

#include <core/imageframe.h>

namespace zarnet {

std::variant<QByteArray, ImageRefusal> buildImageFrame(uint8_t device,
                                                       const ImageRequest& request) {
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

    auto window = request.window;
    window[0] = alignDown(window[0], 2).value_or(window[0]);
    window[2] = alignDown(window[2], 8).value_or(window[2]);
    const auto dotWindow = readDotWindow(window[0], window[1], window[2], window[3]);
    if (const auto* refusal = std::get_if<fields::Refusal>(&dotWindow))
        return ImageRefusal{*refusal};
    const auto schedule = request.mode == ScheduleMode::Always
                              ? std::variant<ScheduleBytes, fields::Refusal>(ScheduleBytes{})
                              : encodeSchedule(request.mode, request.start, request.end);
    if (const auto* refusal = std::get_if<fields::Refusal>(&schedule))
        return ImageRefusal{*refusal};
    const DotWindow& w = std::get<DotWindow>(dotWindow);
    return dotImageFrame(device, std::get<ScheduleBytes>(schedule), w,
                         getDotData(canvas, w.bytesPerRow, w.rows));
}

} // namespace zarnet
