// One survey run: build the search URL, fetch the results page, and fill one
// results-table row per "<li>" entry, cell by cell, pumping the front end's
// messages between the steps so that Stop, Escape and column clicks are seen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/survey_host.h"
#include "engine/survey_plan.h"

namespace corvane::engine {

enum class SurveyMode { Keyword, Domain };

// The results-page URL of a survey.
std::string SurveyQueryUrl(const ServiceEndpoints& endpoints, std::string_view text,
                           std::int32_t resultCount, std::int32_t skip, SurveyMode mode);

// Runs one survey and returns when it has ended. Throws what FetchPage throws
// for the results page (the table then keeps the previous survey),
// ConvertError after completing a row whose figures are not integers, and
// RunAbandoned when the host gives the run up.
void RunSurvey(SurveyHost& host, const std::string& text, std::int32_t resultCount,
               std::int32_t skip, SurveyMode mode);

// Fills the results table from a fetched results page: the rows of its plan,
// one after another, each page fetched through the host in plan order. Ends early, quietly,
// when the row it fills leaves the table (the table was cleared meanwhile).
void ParseResults(SurveyHost& host, std::string page, std::int32_t skip);

}  // namespace corvane::engine
