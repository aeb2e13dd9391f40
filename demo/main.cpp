// corvane-demo-web: serves the demo web on 127.0.0.1 until SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "base/integer_text.h"
#include "corvane_version.h"
#include "demo/demo_web.h"

namespace {

constexpr const char* kUsage =
    "usage: corvane-demo-web [--port N] [--latency-ms N]\n"
    "       corvane-demo-web --version\n"
    "  --port N        port on 127.0.0.1 to listen on (0 or absent: a free one)\n"
    "  --latency-ms N  delay every answer by N milliseconds\n";

// A whole decimal number from 0 to `most`: digits only.
bool ParseNumber(const char* text, std::uint64_t most, int& out) {
    std::uint64_t value = 0;
    if (text == nullptr || !corvane::base::TryReadDecimalDigits(text, most, value))
        return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int latencyMs = 0;
    // Options come in pairs: a name and its value.
    for (int i = 1; i < argc; i += 2) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("corvane-demo-web " CORVANE_VERSION "\n", stdout);
            return 0;
        }
        int* target = arg == "--port" ? &port : arg == "--latency-ms" ? &latencyMs : nullptr;
        const std::uint64_t most = arg == "--port" ? 65535 : 600000;
        if (target == nullptr || i + 1 >= argc || !ParseNumber(argv[i + 1], most, *target)) {
            std::fprintf(stderr, "corvane-demo-web: bad argument '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }

    // The signals are taken by sigwait below; blocked before any thread
    // starts, so that no server thread is interrupted by them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    corvane::demo::DemoWeb web;
    try {
        web.Start(port, latencyMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-demo-web: %s\n", e.what());
        return 1;
    }
    std::printf("corvane-demo-web listening on %s\n", web.BaseUrl().c_str());
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    web.Stop();
    std::fprintf(stderr, "corvane-demo-web: stopped after %llu requests\n",
                 static_cast<unsigned long long>(web.RequestCount()));
    return 0;
}
