#include "ui/survey_window_host.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

namespace corvane::ui {

EscapeKeyState::EscapeKeyState(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

EscapeKeyState::~EscapeKeyState() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

bool EscapeKeyState::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape) {
                down_ = true;
                if (!key->isAutoRepeat()) {
                    emit Pressed();
                }
            }
            break;
        }
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
                down_ = false;
            }
            break;
        }
        case QEvent::ApplicationDeactivate:
            down_ = false;
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

WindowSurveyHost::WindowSurveyHost(StatusFn status, PumpFn pump, EscapeFn escape, FetchFn fetch,
                                   engine::ResultsTable& table,
                                   const engine::ServiceEndpoints& endpoints)
    : status_(std::move(status)),
      pump_(std::move(pump)),
      escape_(std::move(escape)),
      fetch_(std::move(fetch)),
      table_(table),
      endpoints_(endpoints) {}

void WindowSurveyHost::ShowStatus(const std::string& text) {
    if (!abandoned_ && status_) {
        status_(text);
    }
}

void WindowSurveyHost::PumpMessages() {
    if (abandoned_) {
        throw RunAbandoned{};
    }
    if (pump_) {
        pump_();
    }
    // A command run inside the pump may have given the run up.
    if (abandoned_) {
        throw RunAbandoned{};
    }
}

bool WindowSurveyHost::IsEscapeDown() {
    return abandoned_ || (escape_ && escape_());
}

std::string WindowSurveyHost::FetchPage(const std::string& url, int port) {
    if (abandoned_) {
        throw RunAbandoned{};
    }
    return fetch_ ? fetch_(url, port) : std::string();
}

}  // namespace corvane::ui
