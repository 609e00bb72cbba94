#pragma once

#include <QByteArray>

// Frames as they must stand on the line, shared by every test that checks a
// front end (the window, the command line) against them.
namespace zarnet::test::golden {

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

inline const QByteArray PowerOn1 = hex("02000901EE1201F503");
inline const QByteArray PowerOn255 = hex("020009FFEE12010B03");
inline const QByteArray PowerOff1 = hex("02000901EE1200F403");
inline const QByteArray Clear1 = hex("02000901EE4000A603");
inline const QByteArray Find1 = hex("02000901EE2101C603");
inline const QByteArray Find255 = hex("020009FFEE21FFC603");
// Device 1 at 2026-12-05 20:18:51.
inline const QByteArray Clock1 = hex("02000E01EE201A0C05141233E703");
// Device 255, start 0, count 1, value 1234.
inline const QByteArray Units1234ShowNow = hex("02000EFFEE230001000004D2EB03");
inline const QByteArray Units1234Fixed = hex("02000EFFEE240001000004D2EC03");
inline const QByteArray UnitRead255From0Count1 = hex("02000AFFEE3000012A03");
inline const QByteArray UnitRead1From0Count10 = hex("02000A01EE30000ADF03");
// Start-up window and schedule, device 255, all-black canvas.
inline const QByteArray BlackStartUpImage =
    hex("020090FFEE4100000000C0000810") + QByteArray(128, '\0') + hex("1803");

} // namespace zarnet::test::golden
