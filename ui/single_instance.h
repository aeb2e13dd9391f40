// One running program per user and display: a lock file in the user's
// runtime folder, named after the display. The lock holds the owner's
// process id, so the lock of an instance that crashed or was killed counts
// as free at the next start; a living instance holds it however long it
// runs.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace corvane::ui {

// The display the program shows on, as a file-name-safe text: $DISPLAY on
// X11, $WAYLAND_DISPLAY on Wayland, else the platform plugin's name (for
// instance "offscreen"). Needs the application object.
QString DisplayKey();

// <runtime folder>/corvane-<display key>.lock
QString SingleInstanceLockPath();

class SingleInstance {
  public:
    explicit SingleInstance(const QString& lockPath = SingleInstanceLockPath());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock (it keeps it until it ends
    // or the object is destroyed); false when another living instance holds
    // it. A lock that cannot be made at all (no writable runtime folder)
    // counts as free: the program starts.
    [[nodiscard]] bool TryAcquire();

    const QString& LockPath() const { return path_; }

  private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace corvane::ui
