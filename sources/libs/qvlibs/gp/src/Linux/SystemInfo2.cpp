#include <QV/GP/SystemInfo2.h>

#include <charconv>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include <sys/utsname.h>
#include <unistd.h>

namespace QV::GP {

namespace {

constexpr std::size_t kMaxProcessorNameBytes = 512;
constexpr char kBlanks[] = " \t\r\n";

std::string_view trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// The leading decimal number of a text, or false when there is none.
bool leadingNumber(std::string_view text, std::uint32_t& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end != text.data();
}

std::string readFile(const char* path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

SystemInfo2::CPUInfo SystemInfo2::parseProcCPUInfo(std::string_view text)
{
    CPUInfo info;
    std::set<std::pair<std::uint32_t, std::uint32_t>> cores;
    std::uint32_t coresPerPackage = 0;
    std::uint32_t package = 0;
    bool havePackage = false;
    bool haveName = false;
    bool haveSpeed = false;

    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            // A blank line ends one processor's block.
            havePackage = false;
            continue;
        }
        const std::string_view key = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        std::uint32_t number = 0;
        if (key == "physical id") {
            havePackage = leadingNumber(value, package);
        } else if (key == "core id") {
            if (havePackage && leadingNumber(value, number))
                cores.emplace(package, number);
        } else if (key == "cpu cores") {
            if (coresPerPackage == 0 && leadingNumber(value, number))
                coresPerPackage = number;
        } else if (key == "model name" && !haveName) {
            info.processorName = std::string(trim(value.substr(0, kMaxProcessorNameBytes)));
            haveName = true;
        } else if (key == "cpu MHz" && !haveSpeed) {
            haveSpeed = leadingNumber(value, info.speedMHz);
        }
    }
    info.physicalCores = static_cast<std::uint32_t>(cores.size());
    info.packages = coresPerPackage > 0 ? info.physicalCores / coresPerPackage : 1;
    return info;
}

SystemInfo2::OSInfo SystemInfo2::parseRelease(std::string_view release, std::string_view machine)
{
    OSInfo info;
    std::uint32_t* const parts[] = {&info.major, &info.minor, &info.patch};
    for (std::uint32_t* part : parts) {
        const auto [end, error] = std::from_chars(release.data(), release.data() + release.size(), *part);
        if (error != std::errc())
            break;
        release.remove_prefix(static_cast<std::size_t>(end - release.data()));
        if (release.empty() || release.front() != '.')
            break;
        release.remove_prefix(1);
    }
    info.targetInstructionSet = machine == "x86_64" ? kInstructionSetX86_64 : 0;
    return info;
}

const SystemInfo2::CPUInfo& SystemInfo2::retrieveCPUInfo()
{
    static CPUInfo s_info;
    if (s_info.read)
        return s_info;
    s_info = parseProcCPUInfo(readFile("/proc/cpuinfo"));
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    s_info.logicalCores = online > 0 ? static_cast<std::uint32_t>(online) : 0;

    // The rated maximum, in kHz, where the kernel has a frequency driver;
    // otherwise the current speed /proc/cpuinfo showed stays.
    std::uint32_t maxKHz = 0;
    if (leadingNumber(trim(readFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")), maxKHz)
        && maxKHz > 0)
        s_info.speedMHz = maxKHz / 1000;
    s_info.read = true;
    return s_info;
}

const SystemInfo2::OSInfo& SystemInfo2::retrieveOSInfo()
{
    static const OSInfo s_info = [] {
        utsname name{};
        if (uname(&name) != 0)
            return OSInfo{};
        return parseRelease(name.release, name.machine);
    }();
    return s_info;
}

} // namespace QV::GP
