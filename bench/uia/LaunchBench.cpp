// Start-up and idle cost of a GNUstep application on a virtual display of
// its own (with GNUstep's notification daemon already running, as on a
// desktop):
//
//   start-up: from exec to NSApplicationDidFinishLaunchingNotification,
//             reported by the preloaded launch reporter, so any GNUstep
//             application can be measured unchanged;
//   idle:     CPU time of all the application's threads over a span of
//             idle seconds after launch, plain and with a repeating timer
//             (QV_IDLE_TIMER_MS, understood by the bare application) in the
//             default, modal-panel and event-tracking modes.
//
// Usage: uia_launch_bench [--program PATH] [--runs N] [--idle-seconds S]
//                         [--timer-ms MS] [--no-idle] [--verbose]
//                         [--env NAME=VALUE]...
// Without --program it measures the bare application, the baseline that the
// updater is set beside (`--env QV_BARE_WINDOW=1` makes it open one window).
#include "GuiSession.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::GuiSession;

struct Settings
{
    std::string program = QV_BARE_APP;
    int runs = 20;
    int idleSeconds = 10;
    int timerMs = 40;
    bool idle = true;
    bool verbose = false;
    QV::TestSupport::Environment environment;
};

bool parse(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool hasValue = i + 1 < argc;
        if (word == "--program" && hasValue)
            settings.program = argv[++i];
        else if (word == "--runs" && hasValue)
            settings.runs = std::atoi(argv[++i]);
        else if (word == "--idle-seconds" && hasValue)
            settings.idleSeconds = std::atoi(argv[++i]);
        else if (word == "--timer-ms" && hasValue)
            settings.timerMs = std::atoi(argv[++i]);
        else if (word == "--no-idle")
            settings.idle = false;
        else if (word == "--verbose")
            settings.verbose = true;
        else if (word == "--env" && hasValue && std::string(argv[i + 1]).find('=') != std::string::npos) {
            const std::string pair = argv[++i];
            const auto equals = pair.find('=');
            settings.environment.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        }
        else
            return false;
    }
    return settings.runs > 0 && settings.idleSeconds > 0 && settings.timerMs > 0;
}

// Nanoseconds that all threads of `pid` have spent on a processor.
long long cpuNanoseconds(pid_t pid)
{
    long long total = 0;
    std::error_code error;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        long long onCpu = 0;
        if (in >> onCpu)
            total += onCpu;
    }
    return total;
}

// A launched program and the time its launch took (negative when it did not
// report within the deadline).
struct Launched
{
    std::unique_ptr<ChildProcess> process;
    double milliseconds = -1;
    pid_t pid = -1;
};

Launched launch(const GuiSession& session, const Settings& settings, int run, QV::TestSupport::Environment extra)
{
    const fs::path report = session.folder() / ("launch-" + std::to_string(run));
    auto environment = QV::TestSupport::launchReporting(report);
    environment.insert(environment.end(), settings.environment.begin(), settings.environment.end());
    environment.insert(environment.end(), extra.begin(), extra.end());
    Launched launched;
    const std::int64_t start = QV::TestSupport::monotonicNanoseconds();
    launched.process = session.start({settings.program}, environment,
                                     session.folder() / ("program-" + std::to_string(run) + ".log"));
    if (QV::TestSupport::waitUntil([&] { return QV::TestSupport::launchReported(report).has_value(); }, 60s, 1ms)) {
        const auto reported = *QV::TestSupport::launchReported(report);
        launched.milliseconds = static_cast<double>(reported.at - start) / 1e6;
        launched.pid = reported.pid;
    } else {
        std::fprintf(stderr, "run %d: no launch report; program output:\n%s\n", run,
                     launched.process->output().c_str());
    }
    return launched;
}

// CPU time over the idle span, in milliseconds; the program is ended after.
double idleCost(const GuiSession& session, const Settings& settings, int run, QV::TestSupport::Environment extra,
                std::string& output)
{
    Launched launched = launch(session, settings, run, std::move(extra));
    if (launched.milliseconds < 0)
        return -1;
    const pid_t pid = launched.pid;
    // What start-up leaves to finish (the first expose, fonts) is not idle.
    std::this_thread::sleep_for(1s);
    const long long before = cpuNanoseconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(settings.idleSeconds));
    const long long after = cpuNanoseconds(pid);
    output = launched.process->output();
    launched.process->stop(5s);
    return static_cast<double>(after - before) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    if (!parse(argc, argv, settings)) {
        std::fprintf(stderr,
                     "usage: %s [--program PATH] [--runs N] [--idle-seconds S] [--timer-ms MS] [--no-idle] "
                     "[--verbose] [--env NAME=VALUE]...\n",
                     argv[0]);
        return 2;
    }
    GuiSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "%s\n", session.problem().c_str());
        return 1;
    }
    std::printf("program: %s\n", settings.program.c_str());

    std::vector<double> times;
    for (int run = 0; run < settings.runs; ++run) {
        Launched launched = launch(session, settings, run, {});
        if (launched.milliseconds < 0)
            return 1;
        times.push_back(launched.milliseconds);
        if (settings.verbose)
            std::printf("run %d: %.1f ms\n", run, launched.milliseconds);
        // Ended at once after launching, a GNUstep application leaves a stale
        // registration behind that costs the next launch about half a second.
        std::this_thread::sleep_for(500ms);
        launched.process->stop(5s);
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up, exec to finished launching, %d runs: min %.1f ms, median %.1f ms, max %.1f ms\n",
                settings.runs, times.front(), times[times.size() / 2], times.back());

    if (settings.idle) {
        std::string output;
        const double plain = idleCost(session, settings, settings.runs, {}, output);
        const double timed = idleCost(session, settings, settings.runs + 1,
                                      {{"QV_IDLE_TIMER_MS", std::to_string(settings.timerMs)}}, output);
        const auto at = output.rfind("ticks ");
        const std::string ticks = at == std::string::npos ? "none seen" : output.substr(at + 6, output.find('\n', at) - at - 6);
        const double span = settings.idleSeconds * 1000.0;
        std::printf("idle CPU over %d s: %.1f ms (%.2f %%)\n", settings.idleSeconds, plain, 100 * plain / span);
        std::printf("idle CPU over %d s with a %d ms timer in three modes: %.1f ms (%.2f %%), ticks by the end: %s\n",
                    settings.idleSeconds, settings.timerMs, timed, 100 * timed / span, ticks.c_str());
    }
    return 0;
}
