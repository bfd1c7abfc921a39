#include <QV/GP/IA32.h>

#include <QV/GP/SystemInfo.h>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QV_GP_HAS_CPUID 1
#endif

namespace QV::GP {

namespace {

constexpr char kUnknownProcessorName[] = "<Unkown>";

#ifdef QV_GP_HAS_CPUID

struct Registers
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// Reads a leaf when the processor has it; an absent leaf reads as zeros.
Registers readLeaf(unsigned leaf, unsigned subleaf = 0)
{
    Registers r;
    if (__get_cpuid_count(leaf, subleaf, &r.eax, &r.ebx, &r.ecx, &r.edx) == 0)
        r = Registers{};
    return r;
}

bool bit(unsigned value, unsigned n)
{
    return (value >> n) & 1u;
}

std::uint32_t vendorFromName(const char (&name)[13])
{
    struct Known
    {
        const char* name;
        std::uint32_t vendor;
    };
    static const Known known[] = {
        {"GenuineIntel", SystemInfo::kVendorIntel},
        {"AuthenticAMD", SystemInfo::kVendorAMD},
        {"CyrixInstead", SystemInfo::kVendorCyrix},
        {"GenuineTMx86", SystemInfo::kVendorTransmeta},
    };
    for (const Known& k : known) {
        if (std::strcmp(name, k.name) == 0)
            return k.vendor;
    }
    return SystemInfo::kVendorOther;
}

std::string brandText()
{
    if (readLeaf(0x80000000).eax < 0x80000004)
        return kUnknownProcessorName;
    char brand[49] = {};
    for (unsigned i = 0; i < 3; ++i) {
        const Registers r = readLeaf(0x80000002 + i);
        std::memcpy(brand + 16 * i, &r.eax, 4);
        std::memcpy(brand + 16 * i + 4, &r.ebx, 4);
        std::memcpy(brand + 16 * i + 8, &r.ecx, 4);
        std::memcpy(brand + 16 * i + 12, &r.edx, 4);
    }
    const char* text = brand;
    while (*text == ' ')
        ++text;
    return *text != '\0' ? std::string(text) : std::string(kUnknownProcessorName);
}

#endif

} // namespace

void IA32::getCPUCaps(std::uint32_t& simdBits, std::uint32_t& featureBits,
                      std::uint32_t& coresPerPackage, std::uint32_t& unitsPerCore,
                      std::uint32_t& vendor, std::uint32_t& type, std::uint32_t& family,
                      std::uint32_t& model, std::uint32_t& revision, std::string& processorName)
{
    simdBits = featureBits = coresPerPackage = unitsPerCore = 0;
    vendor = type = family = model = revision = 0;
    processorName = kUnknownProcessorName;
#ifdef QV_GP_HAS_CPUID
    const Registers leaf0 = readLeaf(0);
    const unsigned highestLeaf = leaf0.eax;
    char vendorName[13] = {};
    std::memcpy(vendorName, &leaf0.ebx, 4);
    std::memcpy(vendorName + 4, &leaf0.edx, 4);
    std::memcpy(vendorName + 8, &leaf0.ecx, 4);
    vendor = vendorFromName(vendorName);

    if (highestLeaf >= 1) {
        const Registers leaf1 = readLeaf(1);
        revision = leaf1.eax & 0xF;
        model = (leaf1.eax >> 4) & 0xF;
        family = (leaf1.eax >> 8) & 0xF;
        type = (leaf1.eax >> 12) & 0x3;
        const struct
        {
            unsigned reg, n;
            std::uint32_t flag;
        } simd[] = {
            {leaf1.edx, 23, SystemInfo::kSIMD_MMX},   {leaf1.edx, 25, SystemInfo::kSIMD_SSE},
            {leaf1.edx, 26, SystemInfo::kSIMD_SSE2},  {leaf1.ecx, 0, SystemInfo::kSIMD_SSE3},
            {leaf1.ecx, 9, SystemInfo::kSIMD_SSSE3},  {leaf1.ecx, 19, SystemInfo::kSIMD_SSE41},
            {leaf1.ecx, 20, SystemInfo::kSIMD_SSE42}, {leaf1.ecx, 28, SystemInfo::kSIMD_AVX},
        };
        for (const auto& s : simd) {
            if (bit(s.reg, s.n))
                simdBits |= s.flag;
        }
        if (bit(leaf1.ecx, 13))
            featureBits |= SystemInfo::kFeatureCMPXCHG16B;

        // Logical processors per package, valid when hyper-threading is
        // flagged (EDX bit 28).
        const std::uint32_t unitsPerPackage = bit(leaf1.edx, 28) ? (leaf1.ebx >> 16) & 0xFF : 1;
        if (vendor == SystemInfo::kVendorIntel && highestLeaf >= 4)
            coresPerPackage = ((readLeaf(4, 0).eax >> 26) & 0x3F) + 1;
        else if (vendor == SystemInfo::kVendorAMD && readLeaf(0x80000000).eax >= 0x80000008)
            coresPerPackage = (readLeaf(0x80000008).ecx & 0xFF) + 1;
        else
            coresPerPackage = 1;
        unitsPerCore = unitsPerPackage >= coresPerPackage ? unitsPerPackage / coresPerPackage : 1;
    }

    if (readLeaf(0x80000000).eax >= 0x80000001) {
        const Registers ext1 = readLeaf(0x80000001);
        if (bit(ext1.edx, 29))
            featureBits |= SystemInfo::kFeature64Bit;
        if (bit(ext1.edx, 20))
            featureBits |= SystemInfo::kFeatureNX;
    }
    processorName = brandText();
#endif
}

} // namespace QV::GP
