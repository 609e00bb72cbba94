#pragma once

#include <core/refusal.h>
#include <core/schedule.h>

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <variant>

// An image described in words rather than drawn by hand: the command line and
// the plant service compose it on the same canvas, with the window's rules.
namespace zarnet {

struct ImageRequest {
    // Exactly one of the two: a line of text, or the bytes of a picture file.
    std::optional<QString> text;
    std::optional<QByteArray> picture;
    QString family;        // empty: the Song face
    double pointSize = 12; // more than 0, at most MaxPointSize
    std::array<QString, 4> window{QStringLiteral("192"), QStringLiteral("0"), QStringLiteral("64"),
                                  QStringLiteral("16")}; // X, Y, W, H as typed
    ScheduleMode mode = ScheduleMode::Always;
    QString start; // the schedule fields, as typed; not read for Always
    QString end;

    bool operator==(const ImageRequest&) const = default;
};

constexpr double MaxPointSize = 1000;

// Why an image request cannot be sent: a field the window would refuse, or a
// picture that cannot be read (no field).
struct ImageRefusal {
    std::optional<fields::Refusal> field;
};

// Where and when an image shows: the window fields X, Y, W, H and the schedule
// fields, as typed.
struct ImagePlacement {
    std::array<QString, 4> window;
    ScheduleMode mode = ScheduleMode::Always;
    QString start;
    QString end;
};

class DotCanvas;

// The one way an image becomes a frame, for the window and for described
// requests alike: the window read first, then the schedule (Always reads no
// fields), then the canvas's top-left W × H dots.
std::variant<QByteArray, fields::Refusal> canvasImageFrame(uint8_t device, const DotCanvas& canvas,
                                                           const ImagePlacement& placement);

// Why the request would be refused, found without drawing it: its fields, and
// the picture's size as its header gives it.
std::optional<ImageRefusal> checkImageRequest(const ImageRequest& request);

// Draws the request on a 256 × 64 canvas and builds the image frame. X is made
// even and W a multiple of 8, as the window does when those fields are left.
// Needs a QGuiApplication.
std::variant<QByteArray, ImageRefusal> buildImageFrame(uint8_t device, const ImageRequest& request);

} // namespace zarnet
