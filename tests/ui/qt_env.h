// One QApplication for the whole test program, created before the first test
// and destroyed after the last, plus small helpers shared by the widget tests.
#pragma once

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ui/fonts.h"

namespace corvane::ui::testing {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "corvane_ui_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        InstallFontSubstitutes();
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    QApplication* app_ = nullptr;
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// The descendant of `parent` of type T whose object name is `name` (a form
// name such as "ListView1"); the test fails when there is none.
template <typename T>
T* Child(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no child named ") + name);
    }
    return found;
}

// A pointer move with no button held, delivered straight to the widget the
// way the window system delivers it to the control under the pointer.
inline void Hover(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

inline void Enter(QWidget* w, QPoint at) {
    QEnterEvent enter(at, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &enter);
}

inline void Leave(QWidget* w) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

inline QImage Grab(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

inline QRgb Rgb(const QColor& c) {
    return c.rgb() & RGB_MASK;
}

// Bounding box of the pixels of one colour, null when there are none.
inline QRect BoxOf(const QImage& img, const QColor& colour) {
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if ((img.pixel(x, y) & RGB_MASK) == Rgb(colour)) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

}  // namespace corvane::ui::testing
