#pragma once

#include <dots/dialogs.h>
#include <ui/messages.h>

namespace zarnet {

class SerialLink;

// The window's boxes and dialogs run an event loop of their own while the
// handler that opened them waits. These wrappers hold the link's events for that
// time, so a reply is handled after the handler has returned, never inside it.
class HoldingMessages : public Messages {
public:
    HoldingMessages(Messages& inner, SerialLink& link) : inner_(inner), link_(link) {}

    void error(const QString& text) override;
    void information(const QString& text) override;

private:
    Messages& inner_;
    SerialLink& link_;
};

class HoldingDialogs : public CanvasDialogs {
public:
    HoldingDialogs(CanvasDialogs& inner, SerialLink& link) : inner_(inner), link_(link) {}

    FontChoice chooseFont(const FontChoice& preset) override;
    QString chooseFile(const QString& initialDir, const QString& filter,
                       const QString& lastFile) override;

private:
    CanvasDialogs& inner_;
    SerialLink& link_;
};

} // namespace zarnet
