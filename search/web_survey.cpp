#include "search/web_survey.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

#include "base/ascii.h"
#include "engine/site_figures.h"
#include "engine/survey_plan.h"
#include "engine/text_ops.h"
#include "search/profile_catalog.h"
#include "search/result_extract.h"
#include "search/url_text.h"

namespace corvane::search {

std::string NormaliseDomain(std::string_view typed) {
    std::string_view d = base::TrimBlanks(typed);
    if (const std::size_t scheme = d.find("://"); scheme != std::string_view::npos)
        d.remove_prefix(scheme + 3);
    d = d.substr(0, d.find_first_of("/?#\\"));
    if (const std::size_t at = d.rfind('@'); at != std::string_view::npos)
        d.remove_prefix(at + 1);
    if (!d.empty() && d[0] == '[')
        d = d.substr(0, d.find(']') == std::string_view::npos ? d.size() : d.find(']') + 1);
    else
        d = d.substr(0, d.find(':'));
    while (!d.empty() && d.back() == '.')
        d.remove_suffix(1);
    return base::LowerAscii(d);
}

std::string WebQueryText(const std::string& text, engine::SurveyMode mode) {
    if (mode == engine::SurveyMode::Keyword)
        return text;
    const std::string domain = NormaliseDomain(text);
    return "\"" + domain + "\" -site:" + domain;
}

std::string HostOfResultUrl(std::string_view url) {
    return UrlHost(url);
}

namespace {

enum class Phase { Idle, Pages, Rows, Done };

struct RowState {
    std::string Host;
    std::int32_t Rank = 0;
    std::string Inbound;
    std::string Traffic;
    engine::RowHandle Handle;
    bool TriedHttp = false;
    bool Complete = false;
};

std::string Plural(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

struct WebSurvey::State {
    engine::ResultsTable& Table;
    WebFetchIssuer& Issuer;
    const SearchProfile& Profile;
    const lists::RankLists& Lists;
    std::string Base;

    Phase Now = Phase::Idle;
    std::string Query;
    std::int32_t Count = 0;
    std::int32_t Skip = 0;

    // Result pages.
    int Page = 0;
    std::uint64_t PageTicket = 0;
    // The URL of the page asked for last, against which its links resolve
    // when the fetch names no final URL.
    std::string LastPageUrl;
    std::vector<std::string> Urls;
    std::set<std::string> Seen;

    // Rows, and the home-page fetch of each ticket: one fetch serves every
    // row of its host.
    std::vector<RowState> Rows;
    std::map<std::uint64_t, std::vector<std::size_t>> HomeTickets;
    std::uint64_t NextTicket = 1;
    std::size_t Completed = 0;

    bool Stopped = false;
    std::string Failure;
    std::vector<std::string> Notes;

    State(engine::ResultsTable& table, WebFetchIssuer& issuer, const SearchProfile& profile,
          const lists::RankLists& lists, std::string base)
        : Table(table), Issuer(issuer), Profile(profile), Lists(lists), Base(std::move(base)) {}

    // The profile's file for a message about its selectors.
    std::string Origin() const {
        if (Profile.Source != "built-in")
            return Profile.Source;
        return "the built-in profile; a corrected copy in " + UserProfileFolder() + "/" +
               Profile.Name + ".ini takes its place";
    }

    void IssuePage(int page, const SearchRequest& request) {
        Page = page;
        PageTicket = NextTicket++;
        LastPageUrl = request.Url;
        Issuer.Issue(PageTicket, request);
    }

    // What is wrong with a result page, in words; empty when it can be read.
    std::string PageProblem(const WebFetched& fetched, ExtractedPage& extracted) const {
        const std::string& name = Profile.Name;
        const std::string why =
            fetched.Message.empty() ? std::string("the fetch failed") : fetched.Message;
        if (fetched.Failed && fetched.FailedBeforeResponse)
            return "the " + name + " search could not be reached: " + why;
        if (fetched.Failed)
            return "the " + name + " answer broke off: " + why;
        if (fetched.Status == 429)
            return "the " + name +
                   " search answered 429 (too many requests): it is refusing this address for "
                   "now; try again later or use another profile";
        if (fetched.Status == 403)
            return "the " + name + " search refused the request (403): " +
                   (Profile.RefusedHint.empty()
                        ? std::string("it may be blocking this address; try again later or use "
                                      "another profile")
                        : Profile.RefusedHint);
        if (fetched.Status != 0 && (fetched.Status < 200 || fetched.Status > 299))
            return "the " + name + " search answered with status " + std::to_string(fetched.Status);
        extracted = ExtractResults(Profile, fetched.Body,
                                   fetched.FinalUrl.empty() ? LastPageUrl : fetched.FinalUrl);
        if (!extracted.Problem.empty())
            return "the " + name + " answer could not be read: " + extracted.Problem;
        if (extracted.Blocked)
            return "the " + name +
                   " answer looks like a block page (CAPTCHA or too many requests); try again "
                   "later or use another profile";
        return std::string();
    }

    // The rows from the result URLs gathered: the table is cleared and
    // filled, every home page asked for.
    void BuildRows();
    void Abandon();
};

void WebSurvey::State::BuildRows() {
    const std::size_t skip = static_cast<std::size_t>(Skip);
    if (Urls.size() <= skip) {
        Failure = "the " + Profile.Name + " search gave " + Plural(Urls.size(), "result") +
                  ", none after the " + std::to_string(skip) + " skipped";
        Now = Phase::Done;
        return;
    }
    const std::size_t count = std::min(Urls.size() - skip, static_cast<std::size_t>(Count));
    if (count < static_cast<std::size_t>(Count))
        Notes.push_back("the " + Profile.Name + " search gave " + Plural(count, "result") +
                        (skip > 0 ? " after the " + std::to_string(skip) + " skipped" : "") +
                        ", fewer than the " + std::to_string(Count) + " asked for");
    Now = Phase::Rows;
    Rows.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        RowState& row = Rows[i];
        row.Host = HostOfResultUrl(Urls[skip + i]);
        row.Rank = engine::WrapAdd(Skip, static_cast<std::int32_t>(i + 1));
        const auto inbound = Lists.RefSubNets(row.Host);
        row.Inbound = inbound ? std::to_string(*inbound) : "0";
        const auto traffic = Lists.TrafficRank(row.Host);
        row.Traffic = traffic ? std::to_string(*traffic) : engine::kNoTrafficRank;
    }
    Table.Clear();
    for (RowState& row : Rows) {
        row.Handle = Table.Append();
        // An observer may clear the table as a row arrives; the run then has
        // nothing left to write.
        if (!Table.SetCaption(row.Handle, row.Host) ||
            !Table.AppendCell(row.Handle, std::to_string(row.Rank)) ||
            !Table.AppendCell(row.Handle, row.Inbound)) {
            Abandon();
            return;
        }
    }
    // Every home page at once, each host's once (a host may hold several
    // results): the front end's scheduler bounds how many run together.
    std::map<std::string, std::uint64_t> ticketOfHost;
    for (std::size_t r = 0; r < Rows.size(); ++r) {
        const auto [at, added] = ticketOfHost.emplace(Rows[r].Host, NextTicket);
        HomeTickets[at->second].push_back(r);
        if (!added)
            continue;
        const std::uint64_t ticket = NextTicket++;
        SearchRequest request;
        request.Url = "https://" + Rows[r].Host + "/";
        Issuer.Issue(ticket, request);
    }
}

void WebSurvey::State::Abandon() {
    // The table was cleared under the run: every handle is gone.
    Now = Phase::Done;
    Stopped = true;
    HomeTickets.clear();
    Issuer.CancelAll();
}

WebSurvey::WebSurvey(engine::ResultsTable& table, WebFetchIssuer& issuer,
                     const SearchProfile& profile, const lists::RankLists& lists, std::string base)
    : state_(new State(table, issuer, profile, lists, std::move(base))) {}

WebSurvey::~WebSurvey() {
    Stop();
    delete state_;
}

void WebSurvey::Start(const std::string& text, std::int32_t resultCount, std::int32_t skip,
                      engine::SurveyMode mode) {
    State& s = *state_;
    if (s.Now != Phase::Idle)
        throw std::logic_error("web survey: started twice");
    if (s.Profile.Kind != ProfileKind::Web)
        throw ProfileError("the " + s.Profile.Name +
                           " profile runs the classic survey, not a survey of today's web");
    s.Query = WebQueryText(text, mode);
    s.Count = resultCount;
    s.Skip = std::max<std::int32_t>(skip, 0);
    // Throws before anything has changed when the profile cannot ask.
    const SearchRequest first = BuildSearchRequest(s.Profile, s.Query, 1, {}, s.Base);
    s.Notes = s.Lists.Warnings();
    if (resultCount <= 0) {
        s.Now = Phase::Done;
        s.Failure = "nothing to survey: no results asked for";
        return;
    }
    s.Now = Phase::Pages;
    s.IssuePage(1, first);
}

void WebSurvey::Deliver(std::uint64_t ticket, WebFetched fetched) {
    State& s = *state_;
    if (s.Now == Phase::Pages && ticket == s.PageTicket) {
        s.PageTicket = 0;
        ExtractedPage extracted;
        const std::string problem = s.PageProblem(fetched, extracted);
        const std::size_t before = s.Urls.size();
        if (!problem.empty()) {
            if (s.Page == 1) {
                s.Failure = problem;
                s.Now = Phase::Done;
                return;
            }
            s.Notes.push_back("page " + std::to_string(s.Page) + ": " + problem +
                              "; the survey goes on with the " + Plural(before, "result") +
                              " of the pages before");
            s.BuildRows();
            return;
        }
        for (std::string& url : extracted.Urls) {
            if (s.Seen.insert(url).second)
                s.Urls.push_back(std::move(url));
        }
        if (s.Page == 1 && s.Urls.empty()) {
            s.Failure = "the " + s.Profile.Name +
                        " answer matched no results: the profile's selector may be out of date (" +
                        s.Origin() + ")";
            s.Now = Phase::Done;
            return;
        }
        const std::size_t wanted =
            static_cast<std::size_t>(s.Skip) + static_cast<std::size_t>(s.Count);
        if (s.Urls.size() >= wanted || s.Urls.size() == before || s.Page >= s.Profile.PageLimit) {
            s.BuildRows();
            return;
        }
        const std::vector<std::string> missing =
            MissingCaptures(s.Profile, s.Page + 1, extracted.Captures);
        if (!missing.empty()) {
            s.Notes.push_back("page " + std::to_string(s.Page) + " of the " + s.Profile.Name +
                              " search held no " + missing.front() +
                              ", which the next page's request needs; the survey goes on with "
                              "the " +
                              Plural(s.Urls.size(), "result") + " so far");
            s.BuildRows();
            return;
        }
        try {
            const SearchRequest next =
                BuildSearchRequest(s.Profile, s.Query, s.Page + 1, extracted.Captures, s.Base);
            s.IssuePage(s.Page + 1, next);
        } catch (const ProfileError& e) {
            s.Notes.push_back(std::string("the next page cannot be asked for: ") + e.what());
            s.BuildRows();
        }
        return;
    }
    if (s.Now != Phase::Rows)
        return;
    const auto it = s.HomeTickets.find(ticket);
    if (it == s.HomeTickets.end())
        return;
    const std::vector<std::size_t> rows = std::move(it->second);
    s.HomeTickets.erase(it);
    RowState& first = s.Rows[rows.front()];
    if (fetched.Failed && fetched.FailedBeforeResponse && !first.TriedHttp) {
        // Nothing came from the origin over https: the same home page over
        // plain http.
        first.TriedHttp = true;
        const std::uint64_t again = s.NextTicket++;
        s.HomeTickets[again] = rows;
        SearchRequest request;
        request.Url = "http://" + first.Host + "/";
        s.Issuer.Issue(again, request);
        return;
    }
    const std::string outbound = std::to_string(engine::CountAbsoluteAnchors(fetched.Body));
    for (const std::size_t r : rows) {
        RowState& row = s.Rows[r];
        const std::string value =
            engine::RowLinkValue(row.Inbound, outbound, engine::WrapAdd(row.Rank, 1)).Text;
        if (!s.Table.AppendCell(row.Handle, outbound) || !s.Table.AppendCell(row.Handle, value) ||
            !s.Table.AppendCell(row.Handle, row.Traffic) ||
            !s.Table.SetChecked(row.Handle, false)) {
            s.Abandon();
            return;
        }
        row.Complete = true;
        ++s.Completed;
    }
    if (s.Completed == s.Rows.size())
        s.Now = Phase::Done;
}

void WebSurvey::Stop() {
    State& s = *state_;
    if (s.Now == Phase::Idle || s.Now == Phase::Done)
        return;
    const bool rows = s.Now == Phase::Rows;
    s.Now = Phase::Done;
    s.Stopped = true;
    s.HomeTickets.clear();
    s.Issuer.CancelAll();
    if (rows) {
        for (const RowState& row : s.Rows) {
            if (!row.Complete)
                s.Table.Remove(row.Handle);
        }
    }
}

bool WebSurvey::Finished() const {
    return state_->Now == Phase::Done;
}

bool WebSurvey::Stopped() const {
    return state_->Stopped;
}

const std::string& WebSurvey::FailureMessage() const {
    return state_->Failure;
}

const std::vector<std::string>& WebSurvey::Notes() const {
    return state_->Notes;
}

std::size_t WebSurvey::CompletedRows() const {
    return state_->Completed;
}

std::size_t WebSurvey::TotalRows() const {
    return state_->Rows.size();
}

}  // namespace corvane::search
