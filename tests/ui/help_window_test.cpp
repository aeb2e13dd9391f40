#include "ui/help_window.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include "qt_env.h"
#include "shell_recorder.h"

namespace corvane::ui {
namespace {

TEST(Help, TheInstalledPagesAreFoundBesideTheProgramsBinFolder) {
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin"));
    const QString bin = prefix.filePath("bin") + "/";
    EXPECT_EQ(FindInstalledHelp(bin), "");
    ASSERT_TRUE(QDir(prefix.path()).mkpath("share/corvane/help"));
    EXPECT_EQ(FindInstalledHelp(bin), "");  // the folder alone is not the help
    QFile page(prefix.filePath("share/corvane/help/index.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    EXPECT_EQ(FindInstalledHelp(bin), prefix.filePath("share/corvane/help/index.html"));
    EXPECT_EQ(FindInstalledHelp(""), "");
}

TEST(Help, TheBuiltInPagesCoverTheWindowAndMoveWithinThemselves) {
    testing::ShellRecorder shell;
    THelpWindow help;
    const QString text = help.PlainText();
    for (const char* topic :
         {"Running a survey", "Website URL", "Rank #", "Inbound Links", "Outbound Links",
          "Link's Value", "Alexa Ranking", "Survey files", ".cvn", "F1", "Esc", "--demo", "--proxy",
          "CORVANE_SEARCH_ENDPOINT", "user-store.txt"}) {
        EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
    }
    // Surveys of today's web: the profiles, what each column holds there,
    // the rank lists, a user's profile files and the Settings window.
    for (const char* topic : {"Surveys of today's web",
                              "searxng",
                              "duckduckgo",
                              "mojeek",
                              "yahoo",
                              "brave",
                              "--searxng URL",
                              "Traffic Rank",
                              "RefSubNets",
                              "Majestic Million",
                              "Tranco",
                              "registrable domain",
                              "https://",
                              "ask http:// instead",
                              "999999999",
                              "corvane-cli lists update",
                              "corvane-cli lists import",
                              "corvane-cli lists status",
                              "~/.local/share/corvane/lists",
                              "older than 30 days",
                              "--tranco FILE",
                              "$XDG_CONFIG_HOME/corvane/profiles/NAME.ini",
                              "README.md",
                              "XPath does not compile",
                              "File > Settings...",
                              "SearXNG address",
                              "Update lists",
                              "SOCKS 4A",
                              "User-Agent",
                              "proxy-password",
                              "CORVANE_PROFILE"}) {
        EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
    }
    EXPECT_TRUE(QFile::exists(":/corvane/help/main-window.png"));

    // A link to a part of the page stays in the window; an address outside
    // the help goes to the desktop.
    auto* browser = testing::Child<QTextBrowser>(&help, "HelpBrowser");
    for (const char* part : {"columns", "todaysweb", "lists", "profiles", "settingswindow"}) {
        emit browser->anchorClicked(QUrl(QStringLiteral("#") + QLatin1String(part)));
        EXPECT_EQ(help.Source().fragment(), QLatin1String(part));
    }
    EXPECT_TRUE(shell.opened.empty());
    emit browser->anchorClicked(QUrl("https://www.example.com/"));
    EXPECT_EQ(shell.Targets(), std::vector<QString>{"https://www.example.com/"});
}

}  // namespace
}  // namespace corvane::ui
