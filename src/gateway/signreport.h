#pragma once

#include "signhealth.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QJsonObject>

namespace zarnet::gateway {

class Gateway;
class Sign;

// One sign as the page and the API show it: its state, power, line, units with
// their ages, the latest refusals, and a key that changes with its picture.
QJsonObject signReport(const Gateway& gateway, const Sign& sign, const QDateTime& now);

// "online", "offline" or "connecting".
QString stateWord(SignHealth::State state);

// Which power state is in force, what set it ("command" or "schedule"), and with
// a schedule until when; null before any command or schedule.
QJsonValue powerReport(const Sign& sign);
// Which picture the sign is given: "own", "timed" (with "until"), "stale" or "none".
QJsonObject showingReport(const Sign& sign);

// What the sign shows now, one pixel per dot.
QImage signDots(const Sign& sign, const QDateTime& now);
// A text that changes whenever the sign's dots do.
QString pictureKey(const Sign& sign, const QDateTime& now);
// The dots drawn as the board's LED panel, as PNG.
QByteArray signPicture(const QImage& dots);

} // namespace zarnet::gateway
