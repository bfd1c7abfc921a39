#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace QV::GP {

// Language numbers of the foundation: 0 English, 1 French, 2 German,
// 3 Japanese, 4 Spanish, 5 any other, 6 Italian. Only the first two
// characters of a locale identifier ("it_IT", "pt") count.
int convertMacLocaleToSystemLanguage(std::string_view localeIdentifier) noexcept;

// Facts about the processor and the system, read once at start-up and kept
// for callers. Nothing fails: what cannot be read stays 0 or empty.
//
// Thread affinity: init and deInit on the main thread; values read anywhere
// after init.
class SystemInfo
{
public:
    SystemInfo() = delete;

    // Processor vendors as CPUID names them.
    enum eVendor : std::uint32_t {
        kVendorOther = 0,
        kVendorIntel = 1,
        kVendorAMD = 2,
        kVendorCyrix = 5,
        kVendorTransmeta = 6,
    };

    // The processor's SIMD support bits.
    static constexpr std::uint32_t kSIMD_MMX = 0x1;
    static constexpr std::uint32_t kSIMD_SSE = 0x2;
    static constexpr std::uint32_t kSIMD_SSE2 = 0x8;
    static constexpr std::uint32_t kSIMD_SSE3 = 0x10;
    static constexpr std::uint32_t kSIMD_SSSE3 = 0x20;
    static constexpr std::uint32_t kSIMD_SSE41 = 0x80;
    static constexpr std::uint32_t kSIMD_SSE42 = 0x100;
    static constexpr std::uint32_t kSIMD_AVX = 0x200;

    // The processor's feature bits.
    static constexpr std::uint32_t kFeatureNX = 0x4;
    static constexpr std::uint32_t kFeature64Bit = 0x2;
    static constexpr std::uint32_t kFeatureCMPXCHG16B = 0x10;

    static constexpr std::uint32_t kOSTypeMacOS = 4;

    struct Values
    {
        std::uint32_t vendor = 0;
        std::uint32_t type = 0;
        std::uint32_t family = 0;
        std::uint32_t model = 0;
        std::uint32_t revision = 0;
        std::uint32_t simdBits = 0;
        std::uint32_t featureBits = 0;
        std::uint32_t processingUnits = 0;
        std::uint32_t cores = 0;
        std::uint32_t packages = 0;
        std::uint32_t coresPerPackage = 0;
        std::uint32_t unitsPerCore = 0;
        std::string processorName;
        std::string computerName;
        std::uint32_t osType = 0;
        std::uint32_t osMajor = 0;
        std::uint32_t osMinor = 0;
        std::uint32_t osMicro = 0;
        int systemLanguage = 5;
        int systemLocale = 5;
    };

    static bool init();
    // Answers true and does nothing else: the values stay readable.
    static bool deInit() noexcept { return true; }
    static const Values& values() noexcept { return s_values; }

    // How the processor counts of the system and of CPUID are combined. The
    // system's counts are used when consistent (packages ≥ 1 and packages ≤
    // cores ≤ units); otherwise the host's counts, with packages taken from
    // CPUID's cores per package. Every division is guarded: a count of 0 gives
    // a quotient of 0 (or 1 package) rather than a fault.
    struct Counts
    {
        std::uint32_t physicalCores = 0;
        std::uint32_t logicalCores = 0;
        std::uint32_t packages = 0;
        std::uint32_t hostPhysical = 0;
        std::uint32_t hostLogical = 0;
        std::uint32_t cpuidCoresPerPackage = 0;
        std::uint32_t cpuidUnitsPerCore = 0;
    };
    struct Topology
    {
        bool systemCountsUsed = false;
        std::uint32_t processingUnits = 0;
        std::uint32_t cores = 0;
        std::uint32_t packages = 0;
        std::uint32_t coresPerPackage = 0;
        std::uint32_t unitsPerCore = 0;
    };
    static Topology combineCounts(const Counts& counts) noexcept;

private:
    static Values s_values;
};

} // namespace QV::GP
