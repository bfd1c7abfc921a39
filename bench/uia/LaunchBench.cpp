// Start-up, memory and idle cost of a GNUstep application set beside the
// bare application with one window, on a virtual display of their own (with
// GNUstep's notification daemon already running, as on a desktop):
//
//   launched:     from exec to NSApplicationDidFinishLaunchingNotification;
//   first flush:  from exec to the program's first flush of a visible
//                 window;
//   first damage: from exec to the first drawing the X server reports (X
//                 DAMAGE) in a window the program made, seen from outside
//                 the program;
//   first paint:  from exec to the moment the X server has drawn all of one
//                 such window since it was mapped, seen the same way: the
//                 moment the user sees the first page whole. A flush can
//                 come before the window is mapped and be lost, or draw only
//                 a part of it, so the three can differ;
//   resident:     VmRSS a settling time after the first paint;
//   idle:         CPU time of all the application's threads over a span of
//                 idle seconds, for both, and for the bare application also
//                 with a repeating timer (QV_IDLE_TIMER_MS, understood by
//                 the bare application) in the default, modal-panel and
//                 event-tracking modes.
//
// Both are started in turn in every round, the one that goes first changing
// from round to round, so that a machine that is busier at one moment than
// another weighs on both alike; the figures are medians over the rounds.
// The preloaded launch reporter tells the launch and the flush, and the X
// server the drawing, so any GNUstep application can be measured unchanged. The bare application makes the same platform
// set-up as the updater before its application exists (see
// BareApplication.mm): what is left is what the updater does beyond it.
//
// Usage: uia_launch_bench [--program PATH] [--rounds N] [--settle-ms MS]
//                         [--idle-seconds S] [--timer-ms MS] [--no-idle]
//                         [--verbose] [--trace] [--env NAME=VALUE]...
// Without --program it measures the updater built beside it; --env adds to
// the program's environment only; --trace prints, for every launch, what the
// X server saw of the program's windows up to the first paint and a little
// after it.
#include "DamageWatch.h"
#include "GuiSession.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
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
using QV::TestSupport::Environment;
using QV::TestSupport::GuiSession;

struct Settings
{
    std::string program = QV_UPDATER_APP;
    int rounds = 12;
    int settleMs = 1000;
    int idleSeconds = 10;
    int timerMs = 40;
    bool idle = true;
    bool verbose = false;
    bool trace = false;
    Environment environment;
};

// A whole number of at least `least`, nothing before or after it.
bool count(const std::string& text, int least, int& value)
{
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < least)
        return false;
    value = parsed;
    return true;
}

// False, with `problem` naming the argument, when the command line is not one
// this program takes.
bool parse(int argc, char** argv, Settings& settings, std::string& problem)
{
    const std::vector<std::pair<std::string, std::pair<int*, int>>> counts = {
        {"--rounds", {&settings.rounds, 1}},
        {"--settle-ms", {&settings.settleMs, 0}},
        {"--idle-seconds", {&settings.idleSeconds, 1}},
        {"--timer-ms", {&settings.timerMs, 1}},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool hasValue = i + 1 < argc;
        const auto counted = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == word; });
        if (counted != counts.end()) {
            const auto [field, least] = counted->second;
            if (!hasValue || !count(argv[++i], least, *field)) {
                problem = word + " takes a whole number of at least " + std::to_string(least) +
                          (hasValue ? std::string(", not \"") + argv[i] + "\"" : std::string());
                return false;
            }
        }
        else if (word == "--program" && hasValue)
            settings.program = argv[++i];
        else if (word == "--no-idle")
            settings.idle = false;
        else if (word == "--verbose")
            settings.verbose = true;
        else if (word == "--trace")
            settings.trace = true;
        else if (word == "--env" && hasValue && std::string(argv[i + 1]).find('=') != std::string::npos) {
            const std::string pair = argv[++i];
            const auto equals = pair.find('=');
            settings.environment.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        }
        else {
            if (word == "--program")
                problem = "--program takes a path";
            else if (word == "--env")
                problem = "--env takes NAME=VALUE";
            else
                problem = "unknown argument \"" + word + "\"";
            return false;
        }
    }
    return true;
}

// One of the two programs of a comparison.
struct Contender
{
    std::string name;
    std::string path;
    Environment environment;
    std::vector<double> launched, flushed, damaged, painted, residentMiB;
};

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

// VmRSS of `pid` in MiB; negative when it cannot be read.
double residentMiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        long long kib = 0;
        if (key == "VmRSS:" && in >> kib)
            return static_cast<double>(kib) / 1024.0;
        in.ignore(1 << 16, '\n');
    }
    return -1;
}

// A launched program, the times of its launch, first flush, first damage and
// first paint from exec (negative when they were not seen within the
// deadline).
struct Launched
{
    std::unique_ptr<ChildProcess> process;
    double launchedMs = -1;
    double flushedMs = -1;
    double damagedMs = -1;
    double paintedMs = -1;
    pid_t pid = -1;
};

// How long after the first paint the trace goes on.
constexpr std::int64_t kTraceAfterNs = 300'000'000;

Launched launch(const GuiSession& session, DamageWatch& watch, const Settings& settings, const Contender& contender,
                const std::string& tag, const Environment& extra)
{
    const fs::path report = session.folder() / ("launch-" + tag);
    auto environment = QV::TestSupport::launchReporting(report);
    environment.insert(environment.end(), contender.environment.begin(), contender.environment.end());
    environment.insert(environment.end(), extra.begin(), extra.end());
    Launched launched;
    watch.begin();
    const std::int64_t start = QV::TestSupport::monotonicNanoseconds();
    launched.process = session.start({contender.path}, environment, session.folder() / ("program-" + tag + ".log"));
    // The watch is read while waiting, so that a damage event's time is the
    // moment it arrived, not the moment the report was found.
    const auto reported = [&] {
        watch.pump(1);
        const auto found = QV::TestSupport::launchReported(report);
        return found && found->paintedAt != 0 && watch.wholeAt() != 0;
    };
    if (QV::TestSupport::waitUntil(reported, 60s, 0ms)) {
        const auto found = *QV::TestSupport::launchReported(report);
        launched.launchedMs = static_cast<double>(found.at - start) / 1e6;
        launched.flushedMs = static_cast<double>(found.paintedAt - start) / 1e6;
        launched.damagedMs = static_cast<double>(watch.firstDamageAt() - start) / 1e6;
        launched.paintedMs = static_cast<double>(watch.wholeAt() - start) / 1e6;
        launched.pid = found.pid;
        if (settings.trace) {
            const std::int64_t until = watch.wholeAt() + kTraceAfterNs;
            while (QV::TestSupport::monotonicNanoseconds() < until)
                watch.pump(1);
            std::printf("%s: launched %.2f ms, first flush %.2f ms\n%s", tag.c_str(), launched.launchedMs,
                        launched.flushedMs, watch.trace(start).c_str());
        }
    } else {
        std::fprintf(stderr, "%s: no launch report, first flush or whole window seen; program output:\n%s\n",
                     tag.c_str(), launched.process->output().c_str());
    }
    return launched;
}

// One round's measurement of `contender`; false when it did not come up.
bool measure(const GuiSession& session, DamageWatch& watch, const Settings& settings, Contender& contender, int round)
{
    const std::string tag = contender.name + "-" + std::to_string(round);
    Launched launched = launch(session, watch, settings, contender, tag, {});
    if (launched.paintedMs < 0)
        return false;
    // What the first paint leaves to finish belongs to the start-up's cost.
    // The wait also spares the next launch the stale registration that an
    // application ended at once leaves behind (about half a second).
    std::this_thread::sleep_for(std::chrono::milliseconds(settings.settleMs));
    const double resident = residentMiB(launched.pid);
    launched.process->stop(5s);
    contender.launched.push_back(launched.launchedMs);
    contender.flushed.push_back(launched.flushedMs);
    contender.damaged.push_back(launched.damagedMs);
    contender.painted.push_back(launched.paintedMs);
    contender.residentMiB.push_back(resident);
    if (settings.verbose)
        std::printf("round %2d %-8s launched %6.1f ms, first flush %6.1f ms, first damage %6.1f ms, "
                    "first paint %6.1f ms, resident %5.1f MiB\n",
                    round, contender.name.c_str(), launched.launchedMs, launched.flushedMs, launched.damagedMs,
                    launched.paintedMs, resident);
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// CPU time over the idle span, in milliseconds; the program is ended after.
double idleCost(const GuiSession& session, DamageWatch& watch, const Settings& settings, const Contender& contender,
                const std::string& tag, const Environment& extra, std::string& output)
{
    Launched launched = launch(session, watch, settings, contender, tag, extra);
    if (launched.paintedMs < 0)
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
    std::string problem;
    if (!parse(argc, argv, settings, problem)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], problem.c_str());
        std::fprintf(stderr,
                     "usage: %s [--program PATH] [--rounds N] [--settle-ms MS] [--idle-seconds S] [--timer-ms MS] "
                     "[--no-idle] [--verbose] [--trace] [--env NAME=VALUE]...\n",
                     argv[0]);
        return 2;
    }
    GuiSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "%s\n", session.problem().c_str());
        return 1;
    }
    DamageWatch watch(session.display());
    if (!watch.problem().empty()) {
        std::fprintf(stderr, "%s\n", watch.problem().c_str());
        return 1;
    }
    Contender bare{"bare", QV_BARE_APP, {{"QV_BARE_WINDOW", "1"}}, {}, {}, {}, {}, {}};
    Contender program{"program", settings.program, settings.environment, {}, {}, {}, {}, {}};
    std::printf("program:  %s\nbaseline: %s with one window\n", program.path.c_str(), bare.path.c_str());

    // The first GNUstep application of a session makes the services list and
    // the defaults folders: one launch of each, not counted, leaves every
    // round the same start.
    for (Contender* contender : {&bare, &program}) {
        Contender warmUp = *contender;
        if (!measure(session, watch, settings, warmUp, -1))
            return 1;
    }
    for (int round = 0; round < settings.rounds; ++round) {
        Contender& first = round % 2 ? program : bare;
        Contender& second = round % 2 ? bare : program;
        if (!measure(session, watch, settings, first, round) || !measure(session, watch, settings, second, round))
            return 1;
    }
    std::printf("%d rounds, medians     launched   first flush  first damage   first paint   resident %d ms after it\n",
                settings.rounds, settings.settleMs);
    for (const Contender* contender : {&bare, &program})
        std::printf("%-22s %7.1f ms  %9.1f ms  %9.1f ms  %9.1f ms  %8.1f MiB\n", contender->name.c_str(),
                    median(contender->launched), median(contender->flushed), median(contender->damaged),
                    median(contender->painted), median(contender->residentMiB));
    // The ratio of each round's two launches, made a second or two apart,
    // changes less with the machine's load than the ratio of the medians.
    const auto ratio = [](const std::vector<double>& of, const std::vector<double>& to) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < of.size(); ++i)
            ratios.push_back(of[i] / to[i]);
        return median(ratios);
    };
    std::printf("program / bare: first paint %.2f times (median of the rounds' ratios %.2f), first damage %.2f "
                "(%.2f), first flush %.2f (%.2f), resident %+.1f MiB\n",
                median(program.painted) / median(bare.painted), ratio(program.painted, bare.painted),
                median(program.damaged) / median(bare.damaged), ratio(program.damaged, bare.damaged),
                median(program.flushed) / median(bare.flushed), ratio(program.flushed, bare.flushed),
                median(program.residentMiB) - median(bare.residentMiB));

    if (settings.idle) {
        std::string output;
        const double span = settings.idleSeconds * 1000.0;
        for (const Contender* contender : {&bare, &program}) {
            const double plain = idleCost(session, watch, settings, *contender, contender->name + "-idle", {}, output);
            std::printf("%s idle CPU over %d s: %.1f ms (%.2f %%)\n", contender->name.c_str(), settings.idleSeconds,
                        plain, 100 * plain / span);
        }
        const double timed = idleCost(session, watch, settings, bare, "bare-timer",
                                      {{"QV_IDLE_TIMER_MS", std::to_string(settings.timerMs)}}, output);
        const auto at = output.rfind("ticks ");
        const std::string ticks = at == std::string::npos ? "none seen" : output.substr(at + 6, output.find('\n', at) - at - 6);
        std::printf("bare idle CPU over %d s with a %d ms timer in three modes: %.1f ms (%.2f %%), ticks by the end: %s\n",
                    settings.idleSeconds, settings.timerMs, timed, 100 * timed / span, ticks.c_str());
    }
    return 0;
}
