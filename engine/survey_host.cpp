#include "engine/survey_host.h"

namespace corvane::engine {

std::atomic<bool> StopFlag{false};

const ServiceEndpoints& SurveyHost::Endpoints() const {
    static const ServiceEndpoints defaults;
    return defaults;
}

ConvertError::ConvertError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid integer value") {}

}  // namespace corvane::engine
