#include <QV/GP/SystemInfo.h>

#include <QV/GP/IA32.h>
#include <QV/GP/SystemInfo2.h>

#include <cstdlib>

#include <limits.h>
#include <unistd.h>

namespace QV::GP {

SystemInfo::Values SystemInfo::s_values;

namespace {

constexpr int kLanguageOther = 5;

// The first non-empty of the given environment variables.
const char* firstSetVariable(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return nullptr;
}

std::uint32_t quotient(std::uint32_t dividend, std::uint32_t divisor)
{
    return divisor != 0 ? dividend / divisor : 0;
}

} // namespace

int convertMacLocaleToSystemLanguage(std::string_view id) noexcept
{
    struct Known
    {
        std::string_view prefix;
        int language;
    };
    static constexpr Known known[] = {
        {"en", 0}, {"fr", 1}, {"de", 2}, {"ja", 3}, {"es", 4}, {"it", 6},
    };
    if (id.size() < 2)
        return kLanguageOther;
    for (const Known& k : known) {
        if (id.substr(0, 2) == k.prefix)
            return k.language;
    }
    return kLanguageOther;
}

SystemInfo::Topology SystemInfo::combineCounts(const Counts& c) noexcept
{
    Topology t;
    t.systemCountsUsed = c.packages != 0 && c.packages <= c.physicalCores
        && c.physicalCores <= c.logicalCores;
    if (t.systemCountsUsed) {
        t.processingUnits = c.logicalCores;
        t.cores = c.physicalCores;
        t.packages = c.packages;
        t.coresPerPackage = quotient(t.cores, t.packages);
        t.unitsPerCore = quotient(t.processingUnits, t.cores);
    } else {
        t.processingUnits = c.hostLogical;
        t.cores = c.hostPhysical;
        t.coresPerPackage = c.cpuidCoresPerPackage;
        t.unitsPerCore = c.cpuidUnitsPerCore;
        // A processor that names no cores per package counts as one package.
        t.packages = c.cpuidCoresPerPackage != 0 ? quotient(t.cores, c.cpuidCoresPerPackage) : 1;
    }
    return t;
}

bool SystemInfo::init()
{
    Values v;
    const SystemInfo2::CPUInfo& cpu = SystemInfo2::retrieveCPUInfo();

    std::string cpuidName;
    std::uint32_t cpuidCoresPerPackage = 0;
    std::uint32_t cpuidUnitsPerCore = 0;
    IA32::getCPUCaps(v.simdBits, v.featureBits, cpuidCoresPerPackage, cpuidUnitsPerCore, v.vendor,
                     v.type, v.family, v.model, v.revision, cpuidName);

    // Linux has no separate host count of physical processors: the online
    // processors stand for both, as a machine without topology data reports.
    Counts counts;
    counts.physicalCores = cpu.physicalCores;
    counts.logicalCores = cpu.logicalCores;
    counts.packages = cpu.packages;
    counts.hostLogical = cpu.logicalCores;
    counts.hostPhysical = cpu.physicalCores != 0 ? cpu.physicalCores : cpu.logicalCores;
    counts.cpuidCoresPerPackage = cpuidCoresPerPackage;
    counts.cpuidUnitsPerCore = cpuidUnitsPerCore;
    const Topology t = combineCounts(counts);
    v.processingUnits = t.processingUnits;
    v.cores = t.cores;
    v.packages = t.packages;
    v.coresPerPackage = t.coresPerPackage;
    v.unitsPerCore = t.unitsPerCore;
    v.processorName = t.systemCountsUsed && !cpu.processorName.empty() ? cpu.processorName : cpuidName;

    const SystemInfo2::OSInfo& os = SystemInfo2::retrieveOSInfo();
    v.osType = kOSTypeMacOS;
    v.osMajor = os.major;
    v.osMinor = os.minor;
    v.osMicro = os.patch;

    // GNUstep leaves the preferred-languages list empty; the environment
    // holds the user's choice, LANGUAGE being the preference list.
    v.systemLanguage = kLanguageOther;
    if (const char* languages = firstSetVariable({"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}))
        v.systemLanguage = convertMacLocaleToSystemLanguage(languages);
    if (const char* locale = firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"}))
        v.systemLocale = convertMacLocaleToSystemLanguage(locale);

    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        v.computerName = host;

    s_values = std::move(v);
    return true;
}

} // namespace QV::GP
