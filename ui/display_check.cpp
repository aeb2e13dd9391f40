#include "ui/display_check.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvane::ui {

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
bool watching = false;
std::vector<HeldMessage>& Held() {
    static std::vector<HeldMessage> held;
    return held;
}

bool IsWindowSystemCategory(const char* category) {
    return category != nullptr && std::string(category).rfind("qt.qpa", 0) == 0;
}

void Watch(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (watching && type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", NoDisplayMessage());
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (watching && IsWindowSystemCategory(context.category)) {
        Held().push_back({type, context.category, text});
        return;
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, text);
    }
}

}  // namespace

const char* NoDisplayMessage() {
    static const std::string message = [] {
        const QByteArray x11 = qgetenv("DISPLAY");
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
        std::string m = "corvane: cannot open a window: ";
        if (x11.isEmpty() && wayland.isEmpty()) {
            return m + "no display is set (neither DISPLAY nor WAYLAND_DISPLAY)";
        }
        m += "the display ";
        m += x11.isEmpty() ? "WAYLAND_DISPLAY=" + wayland.toStdString()
                           : "DISPLAY=" + x11.toStdString();
        return m + " cannot be reached";
    }();
    return message.c_str();
}

MissingDisplayGuard::MissingDisplayGuard() {
    Held().clear();
    watching = true;
    previousHandler = qInstallMessageHandler(Watch);
}

MissingDisplayGuard::~MissingDisplayGuard() {
    Release();
}

void MissingDisplayGuard::Release() {
    if (!watching) {
        return;
    }
    watching = false;
    qInstallMessageHandler(previousHandler);
    std::vector<HeldMessage> held;
    held.swap(Held());
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.c_str());
        qt_message_output(m.type, context, m.text);
    }
}

}  // namespace corvane::ui
