#include "modalhold.h"

#include <link/seriallink.h>

namespace zarnet {

void HoldingMessages::error(const QString& text) {
    EventHold hold(link_);
    inner_.error(text);
}

void HoldingMessages::information(const QString& text) {
    EventHold hold(link_);
    inner_.information(text);
}

FontChoice HoldingDialogs::chooseFont(const FontChoice& preset) {
    EventHold hold(link_);
    return inner_.chooseFont(preset);
}

QString HoldingDialogs::chooseFile(const QString& initialDir, const QString& filter,
                                   const QString& lastFile) {
    EventHold hold(link_);
    return inner_.chooseFile(initialDir, filter, lastFile);
}

} // namespace zarnet
