// What the tests of the window's runs on the fetch scheduler share: a
// table's rows as values, a survey started through the window's controls,
// and a loopback server that never answers.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "tests/ui/qt_env.h"
#include "tests/ui/scripted_web.h"
#include "ui/main_form.h"
#include "ui/start_form.h"

namespace corvane::ui::run_tests {

struct Row {
    std::string caption;
    std::vector<std::string> cells;
    bool operator==(const Row&) const = default;
};

inline std::vector<Row> Rows(const engine::ResultsTable& t) {
    std::vector<Row> out;
    for (std::size_t i = 0; i < t.Count(); ++i)
        out.push_back({t.Row(i).Caption, t.Row(i).Cells});
    return out;
}

// Start, then Search for `keyword` in the Locate dialog, each clicked as a
// user does; returns once the run has ended.
inline void Survey(TForm1* form, TStartForm* dialog, const QString& keyword) {
    testing::WhenShown(dialog, [dialog, keyword] {
        testing::Child<QRadioButton>(dialog, "rbKeyword")->setChecked(true);
        testing::Child<QLineEdit>(dialog, "LabeledEdit1")->setText(keyword);
        QTest::mouseClick(testing::Child<QPushButton>(dialog, "BitBtn1"), Qt::LeftButton);
    });
    // The Locate dialog's Cancel is a "BitBtn2" too: Start is the one in
    // the window's client area.
    QTest::mouseClick(
        testing::Child<QPushButton>(testing::Child<QWidget>(form, "Client"), "BitBtn2"),
        Qt::LeftButton);
}

// A loopback server that takes connections (the kernel's backlog does) and
// never answers a byte.
class HangingServer {
  public:
    HangingServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            listen(fd_, 64) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        port_ = ntohs(a.sin_port);
    }
    ~HangingServer() { close(fd_); }
    HangingServer(const HangingServer&) = delete;
    HangingServer& operator=(const HangingServer&) = delete;
    int Port() const { return port_; }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace corvane::ui::run_tests
