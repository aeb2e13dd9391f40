// The desktop program's parts as start-up puts them together: its options
// (the network settings shared with corvane-cli, over the user's saved
// settings) and its three windows over one page fetch.
#pragma once

#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "frontend/page_fetcher.h"
#include "frontend/settings.h"
#include "frontend/user_settings.h"
#include "ui/history_window.h"

namespace corvane::ui {

class TForm1;
class TInfoForm;
class TStartForm;

extern const char* const kDesktopUsage;

struct DesktopOptions {
    frontend::FrontEndSettings Settings;
    bool Help = false;
    bool Version = false;
    // The arguments the settings were read from, read again over settings
    // saved later.
    std::vector<std::string> Arguments;
};

// The user's saved settings, then the environment's, then the arguments
// (without the program's name; Qt's own options already taken out).
// Throws frontend::UsageError.
DesktopOptions ParseDesktopOptions(const QStringList& args);

// The same over the given saved settings.
DesktopOptions LayerDesktopOptions(const frontend::UserSettings& saved,
                                   const std::vector<std::string>& args);

// The same check before the application object exists, so that help and
// bad values of the program's own options are answered without a display:
// arguments it does not know are left for ParseDesktopOptions, which sees
// them once Qt has taken out its own. Throws frontend::UsageError.
DesktopOptions PreviewDesktopOptions(const std::vector<std::string>& args);

// The history the options ask for: their file (else the default one), and
// recording unless --no-history.
HistorySettings HistoryOf(const frontend::FrontEndSettings& settings);

// The page fetch and the windows, created in this order: the main window,
// the Locate dialog (which reads the remembered inputs), the About box.
// Only the main window is ever shown by start-up.
class DesktopProgram {
  public:
    // Settings saved in the Settings window apply to the surveys that
    // follow, layered again under the environment and options.arguments.
    // Throws std::runtime_error when the demo web asked for cannot start.
    explicit DesktopProgram(const DesktopOptions& options);
    // With settings made by the caller, which stay as they are for the
    // program's life: settings saved meanwhile apply from the next start.
    explicit DesktopProgram(const frontend::FrontEndSettings& settings);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    frontend::PageFetcher& Fetcher() { return *fetcher_; }
    TForm1& MainForm() { return *form_; }
    TStartForm& LocateDialog() { return *locate_; }
    TInfoForm& AboutBox() { return *about_; }

    // Centres the main window on the screen and shows it.
    void Show();

    // The options every page fetch of the window's surveys goes with now.
    net::FetchOptions RunFetchOptions() const;

  private:
    DesktopProgram(const frontend::FrontEndSettings& settings,
                   std::optional<std::vector<std::string>> arguments);
    // Makes `settings` those of the surveys that follow.
    void Use(const frontend::FrontEndSettings& settings);

    // The arguments to layer saved settings under; none: they wait for the
    // next start.
    std::optional<std::vector<std::string>> arguments_;
    std::unique_ptr<frontend::PageFetcher> fetcher_;
    // Replaced on the window's thread, read by the fetch scheduler's
    // workers: each fetch takes the options in force when it starts.
    mutable std::mutex optionsMutex_;
    std::shared_ptr<const net::FetchOptions> runOptions_;
    // The settings of the surveys that follow (the window's thread only).
    frontend::FrontEndSettings surveySettings_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<TStartForm> locate_;
    std::unique_ptr<TInfoForm> about_;
};

}  // namespace corvane::ui
