#pragma once

#include <ui/controlgroups.h>

class QWidget;

namespace zarnet {

class DotCanvas;

// Creates every control of the main window in its group box, with its name,
// caption or initial text, maximum length, font and place (pixels = twips / 15).
MainFormControls buildMainFormControls(QWidget* form, const DotCanvas& canvas);

} // namespace zarnet
