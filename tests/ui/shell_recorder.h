// Records every address or file handed to the desktop instead of opening
// it, for as long as it lives.
#pragma once

#include <QString>

#include <vector>

#include "ui/shell_open.h"

namespace corvane::ui::testing {

struct Opened {
    QString target;
    ShellShow show;
};

struct ShellRecorder {
    std::vector<Opened> opened;
    // What the desktop answers: true takes the target, false refuses it.
    bool accept = true;
    ScopedShellOpener scope{[this](const QString& t, ShellShow s) {
        opened.push_back({t, s});
        return accept;
    }};

    std::vector<QString> Targets() const {
        std::vector<QString> out;
        for (const Opened& o : opened) {
            out.push_back(o.target);
        }
        return out;
    }
};

}  // namespace corvane::ui::testing
