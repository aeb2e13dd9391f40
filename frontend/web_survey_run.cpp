#include "frontend/web_survey_run.h"

#include <ctime>
#include <memory>
#include <utility>

#include "demo/synthetic_lists.h"
#include "frontend/page_fetcher.h"
#include "search/profile_catalog.h"

namespace corvane::frontend {

namespace {

bool FailedBeforeResponse(const net::FetchResult& result) {
    if (result.Status != 0)
        return false;
    switch (result.Failure) {
        case net::FetchFailure::Name:
        case net::FetchFailure::Connect:
        case net::FetchFailure::Proxy:
        case net::FetchFailure::Tls:
            return true;
        default:
            return false;
    }
}

// A list of the demo web's population, indexed in memory for this run.
std::shared_ptr<const lists::RankIndex> DemoIndex(const std::string& content,
                                                  lists::ListKind kind) {
    std::int64_t listTime = 0;
    return lists::IndexContent(content, kind,
                               std::string("the demo web's ") + lists::ListKindName(kind) + " list",
                               listTime);
}

}  // namespace

void ScheduledWebFetches::Issue(std::uint64_t ticket, const search::SearchRequest& request) {
    scheduler_.Submit(ticket, ToFetchRequest(request));
}

void ScheduledWebFetches::CancelAll() {
    scheduler_.CancelAll();
}

net::FetchRequest ToFetchRequest(const search::SearchRequest& request) {
    net::FetchRequest out;
    out.Method = request.Method;
    out.Url = request.Url;
    out.Body = request.Body;
    if (!request.ContentType.empty())
        out.ContentType = request.ContentType;
    out.Headers = request.Headers;
    return out;
}

search::WebFetched ToWebFetched(FetchCompletion completion) {
    search::WebFetched fetched;
    fetched.Body = std::move(completion.Body);
    if (completion.Error) {
        fetched.Failed = true;
        fetched.FailedBeforeResponse = true;
        try {
            std::rethrow_exception(completion.Error);
        } catch (const std::exception& e) {
            fetched.Message = e.what();
        }
        return fetched;
    }
    const net::FetchResult& result = completion.Result;
    fetched.Status = result.Status;
    fetched.Failed = result.Failure != net::FetchFailure::None;
    fetched.FailedBeforeResponse = FailedBeforeResponse(result);
    fetched.FinalUrl = result.FinalUrl;
    fetched.Message = result.Message;
    return fetched;
}

std::size_t DeliverWebCompletions(search::WebSurvey& survey,
                                  std::vector<FetchCompletion> completions) {
    for (FetchCompletion& c : completions) {
        const std::uint64_t ticket = c.Ticket;
        survey.Deliver(ticket, ToWebFetched(std::move(c)));
    }
    return completions.size();
}

WebSurveyEnd RunWebSurvey(engine::ResultsTable& table, FetchScheduler& scheduler,
                          const search::SearchProfile& profile, const lists::RankLists& lists,
                          const std::string& base, const std::string& text,
                          std::int32_t resultCount, std::int32_t skip, engine::SurveyMode mode,
                          const ScheduledSurveyHooks& hooks) {
    ScheduledWebFetches fetches(scheduler);
    search::WebSurvey survey(table, fetches, profile, lists, base);
    survey.Start(text, resultCount, skip, mode);
    DriveToEnd(survey, scheduler, hooks, DeliverWebCompletions);
    WebSurveyEnd end;
    end.Stopped = survey.Stopped();
    end.Failure = survey.FailureMessage();
    end.Notes = survey.Notes();
    return end;
}

std::optional<search::SearchProfile> SurveyProfile(const FrontEndSettings& settings) {
    if (settings.Profile.empty() || settings.Profile == "classic")
        return std::nullopt;
    search::SearchProfile profile = search::LoadProfile(settings.Profile);
    if (profile.Kind == search::ProfileKind::Classic)
        return std::nullopt;
    return profile;
}

std::string SurveyBase(const FrontEndSettings& settings, const PageFetcher& fetcher,
                       const search::SearchProfile& profile) {
    if (!profile.BaseRequired)
        return {};
    if (!settings.SearxngUrl.empty())
        return settings.SearxngUrl;
    return fetcher.DemoAddress();
}

lists::RankLists SurveyLists(const FrontEndSettings& settings, const PageFetcher& fetcher) {
    const demo::SyntheticWeb* demo = fetcher.DemoData();
    if (demo == nullptr)
        return lists::RankLists::Open(lists::DefaultListsFolder(), settings.TrancoFile,
                                      settings.MajesticFile);
    // The demo web's sites are in no real list: its own lists stand in for
    // the ones not given as files (the user's lists folder is not read).
    lists::RankLists lists;
    if (!settings.TrancoFile.empty() || !settings.MajesticFile.empty())
        lists = lists::RankLists::Open(std::string(), settings.TrancoFile, settings.MajesticFile);
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    if (settings.TrancoFile.empty())
        lists.Set(lists::ListKind::Tranco,
                  DemoIndex(demo::TrancoListCsv(*demo), lists::ListKind::Tranco), now);
    if (settings.MajesticFile.empty())
        lists.Set(lists::ListKind::Majestic,
                  DemoIndex(demo::MajesticListCsv(*demo), lists::ListKind::Majestic), now);
    return lists;
}

}  // namespace corvane::frontend
