#include "ui/single_instance.h"

#include <QDir>
#include <QGuiApplication>

#include "platform/user_paths.h"

namespace corvane::ui {

namespace {

QString SafeName(const QString& text) {
    QString out;
    for (const QChar c : text) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('.') || c == QLatin1Char('-');
        out.append(plain ? c : QLatin1Char('_'));
    }
    return out;
}

}  // namespace

QString DisplayKey() {
    const QString platform = QGuiApplication::platformName();
    QString display;
    if (platform == QLatin1String("xcb")) {
        display = qEnvironmentVariable("DISPLAY");
    } else if (platform.startsWith(QLatin1String("wayland"))) {
        display = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    }
    if (display.isEmpty()) {
        display = platform.isEmpty() ? QStringLiteral("default") : platform;
    }
    return SafeName(display);
}

QString SingleInstanceLockPath() {
    const QString dir = QString::fromStdString(platform::RuntimeDir());
    return QDir(dir).filePath(QStringLiteral("corvane-") + DisplayKey() + QStringLiteral(".lock"));
}

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TryAcquire() {
    if (lock_ && lock_->isLocked()) {
        return true;
    }
    lock_ = std::make_unique<QLockFile>(path_);
    // Only a dead owner makes the lock stale, never its age: an instance
    // may run for days.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        return true;
    }
    const bool heldByAnother = lock_->error() == QLockFile::LockFailedError;
    lock_.reset();
    return !heldByAnother;
}

}  // namespace corvane::ui
