// A page fetch for the window tests: the search service, the link: queries,
// the home pages and the site-details pages of a few invented hosts, served
// from memory, with every request logged and a hook called before each
// answer, so that a test can act at an exact point of a run.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// Texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace corvane::ui::testing {

class ScriptedWeb {
  public:
    // Results of a keyword search: the query text as the URL carries it
    // (after "p=%22", up to "%22") maps to the hosts listed.
    std::map<std::string, std::vector<std::string>> Listings;
    // Inbound figure text per host ("0" style default: 100 times its place
    // in the first listing that names it).
    std::map<std::string, std::string> Inbound;
    // Called with each URL before it is answered; may throw.
    std::function<void(const std::string& url)> OnFetch;

    std::vector<std::string> Log;

    std::string Fetch(const std::string& url, int /*port*/) {
        Log.push_back(url);
        if (OnFetch) {
            OnFetch(url);
        }
        const std::string link = "/search?p=link%3Ahttp%3A%2F%2F";
        const std::string keyword = "/search?p=%22";
        if (const auto at = url.find(link); at != std::string::npos) {
            const std::string host = url.substr(at + link.size());
            const auto it = Inbound.find(host);
            const std::string figure =
                it != Inbound.end() ? it->second : std::to_string(100 * (PlaceOf(host) + 1));
            return "<html>results 1 - 10 of about <b>" + figure + "</b> for link</html>";
        }
        if (const auto at = url.find(keyword); at != std::string::npos) {
            const auto end = url.find("%22", at + keyword.size());
            const std::string query = url.substr(at + keyword.size(), end - at - keyword.size());
            std::string page = "<html><p>results 1 - 20 of about 1,000 for " + query + "</p><ol>";
            const auto it = Listings.find(query);
            if (it != Listings.end()) {
                for (const std::string& host : it->second) {
                    page += "<li><a href=\"http://" + host + "/\"><em>" + host + "</em></a></li>";
                }
            }
            return page + "</ol></html>";
        }
        if (url.find("/data/details/?url=") != std::string::npos) {
            return "<html>traffic rank for site: <b>4</b><b>2</b><br></html>";
        }
        if (url.rfind("http://", 0) == 0) {
            return "<html><a href=\"http://elsewhere.example\">x</a><a "
                   "href=\"/local\">y</a></html>";
        }
        return std::string();
    }

    // The host of a home-page URL ("http://" + host), else empty.
    static std::string HomeHost(const std::string& url) {
        if (url.rfind("http://", 0) != 0 || url.find('/', 7) != std::string::npos) {
            return std::string();
        }
        return url.substr(7);
    }

    // Number of logged requests whose URL holds `part`.
    std::size_t Count(const std::string& part) const {
        std::size_t n = 0;
        for (const std::string& u : Log)
            n += u.find(part) != std::string::npos ? 1u : 0u;
        return n;
    }

  private:
    std::size_t PlaceOf(const std::string& host) const {
        for (const auto& [query, hosts] : Listings) {
            for (std::size_t i = 0; i < hosts.size(); ++i) {
                if (hosts[i] == host)
                    return i;
            }
        }
        return 0;
    }
};

// Calls `act` once `dialog` is shown (it is about to run modally, or does),
// checking every few milliseconds; gives up after `limit`, closing the
// dialog so that the test cannot hang, and fails the test.
inline void WhenShown(QWidget* dialog, std::function<void()> act,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto* timer = new QTimer(dialog);  // never outlives the dialog
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QObject::connect(timer, &QTimer::timeout, [timer, dialog, act = std::move(act), deadline] {
        if (dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act();
        } else if (std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the dialog was never shown";
        }
    });
    timer->start(5);
}

}  // namespace corvane::ui::testing
