// What the main window hands a survey run: the status line, the event pump,
// the Escape-key state, the page fetch, the results table and the stop flag.
#pragma once

#include <QObject>

#include <functional>
#include <string>

#include "engine/survey_host.h"

namespace corvane::ui {

// The Escape key's state as the user-interface thread has seen it: down
// from the press the application took from its queue until the matching
// release (auto-repeat releases do not count), up again when the
// application loses the keyboard, since no release is delivered then. An
// application-wide event filter, so it sees the key whichever window or
// control has the focus.
class EscapeKeyState : public QObject {
    Q_OBJECT
  public:
    explicit EscapeKeyState(QObject* parent = nullptr);
    ~EscapeKeyState() override;

    bool IsDown() const { return down_; }

  signals:
    // The key went down (auto-repeats not counted).
    void Pressed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool down_ = false;
};

// Raised from the pump of a run that the window has given up (see
// WindowSurveyHost::Abandon), so that the run leaves at once; the Start
// command catches it.
using engine::RunAbandoned;

class WindowSurveyHost final : public engine::SurveyHost {
  public:
    using StatusFn = std::function<void(const std::string&)>;
    using PumpFn = std::function<void()>;
    using EscapeFn = std::function<bool()>;
    using FetchFn = std::function<std::string(const std::string& url, int port)>;

    WindowSurveyHost(StatusFn status, PumpFn pump, EscapeFn escape, FetchFn fetch,
                     engine::ResultsTable& table, const engine::ServiceEndpoints& endpoints);

    void ShowStatus(const std::string& text) override;
    void PumpMessages() override;
    bool IsEscapeDown() override;
    std::string FetchPage(const std::string& url, int port) override;
    engine::ResultsTable& Table() override { return table_; }
    const engine::ServiceEndpoints& Endpoints() const override { return endpoints_; }

    // Gives the run up: from now on its pump and its page fetch raise
    // RunAbandoned and the Escape poll answers true, so the run ends without
    // another fetch, another cell or another row. Its rows stay in the table
    // until whatever comes next replaces them.
    void Abandon() { abandoned_ = true; }
    bool Abandoned() const { return abandoned_; }

  private:
    StatusFn status_;
    PumpFn pump_;
    EscapeFn escape_;
    FetchFn fetch_;
    engine::ResultsTable& table_;
    engine::ServiceEndpoints endpoints_;
    bool abandoned_ = false;
};

}  // namespace corvane::ui
