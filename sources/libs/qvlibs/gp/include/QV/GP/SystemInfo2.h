#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace QV::GP {

// Processor and operating-system facts as the system reports them (on Linux:
// sysconf, /proc/cpuinfo, cpufreq and uname), filled on first use.
//
// Thread affinity: main thread (start-up).
class SystemInfo2
{
public:
    SystemInfo2() = delete;

    static constexpr std::uint32_t kInstructionSetX86_64 = 2;

    struct CPUInfo
    {
        bool read = false;
        std::uint32_t physicalCores = 0;
        std::uint32_t logicalCores = 0;
        std::uint32_t packages = 0;
        std::string processorName;
        std::uint32_t speedMHz = 0;
    };
    struct OSInfo
    {
        std::uint32_t major = 0;
        std::uint32_t minor = 0;
        std::uint32_t patch = 0;
        std::uint32_t targetInstructionSet = 0;
    };

    static const CPUInfo& retrieveCPUInfo();
    static const OSInfo& retrieveOSInfo();

    // What /proc/cpuinfo says: physical cores are distinct (package, core)
    // pairs; packages = physical cores ÷ "cpu cores" when that is above 0,
    // else 1; the name is the first "model name" (at most 512 bytes, blanks
    // trimmed); the speed the first "cpu MHz". logicalCores is left to the
    // caller. Malformed lines are skipped.
    static CPUInfo parseProcCPUInfo(std::string_view text);

    // "6.1.0-18-amd64" → 6, 1, 0; missing or malformed numbers are 0.
    static OSInfo parseRelease(std::string_view release, std::string_view machine);
};

} // namespace QV::GP
