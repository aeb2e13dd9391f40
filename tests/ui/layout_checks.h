// Layout checks that catch what a user would see go wrong in a window:
// controls covering each other and controls cut off by the edge of what
// holds them. They look at the visible direct children of one container (a
// window, a group frame, a panel), so the inner parts of a composite control
// (a list's scroll bars, a spin field's arrows) are left to that control.
#pragma once

#include <QWidget>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvane::ui::testing {

// How a control is named in a failure: its object name, else its class and
// text.
inline std::string Describe(const QWidget* w) {
    if (!w->objectName().isEmpty()) {
        return w->objectName().toStdString();
    }
    std::string name = w->metaObject()->className();
    const QVariant text = w->property("text");
    if (text.isValid() && !text.toString().isEmpty()) {
        name += " \"" + text.toString().toStdString() + "\"";
    }
    return name;
}

// Visible direct children of `container`, windows of their own (popup
// menus, dialogs) left out.
inline std::vector<const QWidget*> Controls(const QWidget* container) {
    std::vector<const QWidget*> out;
    for (const QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow() && w->isVisibleTo(container)) {
            out.push_back(w);
        }
    }
    return out;
}

// Every control of `container` lies wholly inside it, and no two of them
// overlap except the pairs named in `designed` (by object name, either
// order).
inline void ExpectTidy(const QWidget* container,
                       const std::set<std::pair<std::string, std::string>>& designed = {}) {
    SCOPED_TRACE("inside " + Describe(container));
    const std::vector<const QWidget*> controls = Controls(container);
    EXPECT_FALSE(controls.empty());
    for (const QWidget* w : controls) {
        EXPECT_TRUE(container->rect().contains(w->geometry()))
            << Describe(w) << " reaches past the edge";
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const QWidget* a = controls[i];
            const QWidget* b = controls[j];
            if (!a->geometry().intersects(b->geometry())) {
                continue;
            }
            const std::string na = a->objectName().toStdString();
            const std::string nb = b->objectName().toStdString();
            EXPECT_TRUE(designed.count({na, nb}) || designed.count({nb, na}))
                << Describe(a) << " overlaps " << Describe(b);
        }
    }
}

}  // namespace corvane::ui::testing
