// What a survey run is handed by its front end: the status line, the message
// pump, the Escape-key poll, the page fetch, the results table and the stop
// flag, plus the two service endpoints.
#pragma once

#include <atomic>
#include <stdexcept>
#include <string>

#include "engine/results_table.h"

namespace corvane::engine {

// The process-wide stop flag. Set by the Stop command and by Cancel in the
// Locate dialog, cleared by Search and when a run starts walking a results
// page. Atomic so that a signal handler may set it.
extern std::atomic<bool> StopFlag;

inline constexpr const char* kDefaultSearchEndpoint = "http://search.yahoo.com";
inline constexpr const char* kDefaultTrafficEndpoint = "http://www.alexa.com";

// "http://" followed by the host of each service; the paths and query keys
// the engine appends are fixed.
struct ServiceEndpoints {
    std::string SearchEndpoint = kDefaultSearchEndpoint;
    std::string TrafficEndpoint = kDefaultTrafficEndpoint;
};

class SurveyHost {
  public:
    virtual ~SurveyHost() = default;

    // Shows the text in the status line, replacing what was there.
    virtual void ShowStatus(const std::string& text) = 0;
    // Lets the front end deliver every pending user-interface event.
    virtual void PumpMessages() = 0;
    // True while the Escape key is held down.
    virtual bool IsEscapeDown() = 0;
    // The response body of a GET of `url`, byte for byte, after any outcome
    // of the exchange. Throws only when no network client can be set up.
    virtual std::string FetchPage(const std::string& url, int port) = 0;
    virtual ResultsTable& Table() = 0;
    virtual std::atomic<bool>& Stop() { return StopFlag; }
    virtual const ServiceEndpoints& Endpoints() const;
};

// Thrown by a host's PumpMessages or FetchPage to give the run up at once
// (the front end has a newer request to serve). Unlike any other failure it
// is not absorbed by the figures: it leaves RunSurvey straight away, before
// the run writes another cell. It is deliberately no std::exception, which
// is what the figures absorb.
struct RunAbandoned {};

// A figure text that is not an integer: "'%s' is not a valid integer value".
class ConvertError : public std::runtime_error {
  public:
    explicit ConvertError(const std::string& text);
};

}  // namespace corvane::engine
