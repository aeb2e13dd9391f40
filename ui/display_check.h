// Start-up without a window system to draw on. Qt ends such a start with
// its platform plugin's advice and an abort; the program says instead, in
// one line on stderr, that no display could be reached, and ends with exit
// code 1.
#pragma once

namespace corvane::ui {

// Watches Qt's messages from its creation until Release (or its end):
// a fatal one, which is what a missing or unreachable display gives while
// the application object is created, prints NoDisplayMessage() and ends
// the process with exit code 1. The window system's warnings meanwhile are
// held back, and passed on at Release when the start went well.
class MissingDisplayGuard {
  public:
    MissingDisplayGuard();
    ~MissingDisplayGuard();
    MissingDisplayGuard(const MissingDisplayGuard&) = delete;
    MissingDisplayGuard& operator=(const MissingDisplayGuard&) = delete;

    void Release();
};

// "corvane: cannot open a window: ..." with what the environment names as
// the display (DISPLAY, WAYLAND_DISPLAY), or that it names none.
const char* NoDisplayMessage();

}  // namespace corvane::ui
