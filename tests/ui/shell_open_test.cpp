#include "ui/shell_open.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "qt_env.h"

namespace corvane::ui {
namespace {

TEST(ShellOpen, ARecorderReplacesTheDesktopAndIsRestored) {
    std::vector<QString> outer, inner;
    ScopedShellOpener a([&](const QString& t, ShellShow) {
        outer.push_back(t);
        return false;
    });
    std::vector<QString> reasons;
    {
        ScopedShellOpener b([&](const QString& t, ShellShow) {
            inner.push_back(t);
            return true;
        });
        EXPECT_TRUE(ShellOpen("help/index.html", ShellShow::Normal,
                              [&](const QString& r) { reasons.push_back(r); }));
    }
    EXPECT_TRUE(reasons.empty());
    EXPECT_FALSE(ShellOpen("https://www.example.com/", ShellShow::Maximized,
                           [&](const QString& r) { reasons.push_back(r); }));
    EXPECT_EQ(inner, std::vector<QString>{"help/index.html"});
    EXPECT_EQ(outer, std::vector<QString>{"https://www.example.com/"});
    EXPECT_EQ(reasons.size(), 1u);
}

// The desktop's opening program played by a script that writes its
// arguments, one a line, to a file and ends with a chosen exit code.
class DesktopOpener : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previous_ = SetDesktopOpenerProgram(Script(0));
    }
    void TearDown() override {
        SetDesktopOpenerProgram(previous_);
        // Every opener has ended and its process object is gone.
        EXPECT_TRUE(QTest::qWaitFor([] { return DesktopOpenersRunning() == 0; }, 10000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString Script(int exitCode) {
        const QString path = dir_.filePath(QStringLiteral("opener-%1").arg(exitCode));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                QFile::encodeName(ArgsFile()) + "'\nexit " + QByteArray::number(exitCode) + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    QString ArgsFile() const { return dir_.filePath(QStringLiteral("args")); }

    // Opens `target` and waits (bounded) until the script has run and the
    // opener has had its say; the refusal's reason, if any. A refusal comes
    // with the script's end: when one is expected, the wait is for it.
    std::optional<QString> Open(const QString& target, QByteArray* args, bool refusal = false) {
        QFile::remove(ArgsFile());
        std::optional<QString> reason;
        bool ended = false;
        EXPECT_TRUE(DesktopShellOpen(target, ShellShow::Maximized, [&](const QString& r) {
            reason = r;
            ended = true;
        }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ArgsFile()); }, 10000));
        static_cast<void>(QTest::qWaitFor([&] { return ended; }, refusal ? 10000 : 300));
        QFile f(ArgsFile());
        if (args && f.open(QIODevice::ReadOnly)) {
            *args = f.readAll();
        }
        return reason;
    }

    QTemporaryDir dir_;
    QString previous_;
};

TEST_F(DesktopOpener, HandsOverTheAddressExactlyAndFilesAsAbsolutePaths) {
    QByteArray args;
    for (const char* address : {"http://WWW.Example.COM",
                                "http://b\xc3\xbc"
                                "cher.de",
                                "http://a b.com", "mailto:Help@Example.com"}) {
        EXPECT_EQ(Open(QString::fromUtf8(address), &args), std::nullopt) << address;
        EXPECT_EQ(args, QByteArray(address) + "\n");
    }
    EXPECT_EQ(Open(QStringLiteral("help/index.html"), &args), std::nullopt);
    EXPECT_EQ(args, QFile::encodeName(QDir::current().absoluteFilePath("help/index.html")) + "\n");
}

TEST_F(DesktopOpener, ARefusalIsReportedWithItsReason) {
    SetDesktopOpenerProgram(Script(3));
    EXPECT_EQ(Open(QStringLiteral("http://www.example.com"), nullptr, true), OpenerExitReason(3));
    SetDesktopOpenerProgram(Script(4));
    EXPECT_EQ(Open(QStringLiteral("http://www.example.com"), nullptr, true), OpenerExitReason(4));

    // A program that cannot be started is a refusal at once.
    SetDesktopOpenerProgram(dir_.filePath(QStringLiteral("missing")));
    std::vector<QString> reasons;
    EXPECT_FALSE(DesktopShellOpen(QStringLiteral("http://www.example.com"), ShellShow::Normal,
                                  [&](const QString& r) { reasons.push_back(r); }));
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_TRUE(reasons[0].contains("could not be started")) << reasons[0].toStdString();
}

}  // namespace
}  // namespace corvane::ui
