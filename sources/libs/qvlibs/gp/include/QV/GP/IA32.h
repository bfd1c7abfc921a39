#pragma once

#include <cstdint>
#include <string>

namespace QV::GP {

// The processor's own description through CPUID. On a processor without
// CPUID every value is 0 and the name is "<Unkown>".
class IA32
{
public:
    IA32() = delete;

    static void getCPUCaps(std::uint32_t& simdBits, std::uint32_t& featureBits,
                           std::uint32_t& coresPerPackage, std::uint32_t& unitsPerCore,
                           std::uint32_t& vendor, std::uint32_t& type, std::uint32_t& family,
                           std::uint32_t& model, std::uint32_t& revision, std::string& processorName);
};

} // namespace QV::GP
