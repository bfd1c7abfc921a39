#pragma once

#include <cstdint>

namespace qv::commons {

// Four components, most significant first.
struct VersionNumber
{
    std::uint32_t parts[4] = {0, 0, 0, 0};
};

// Whether no component is set. Components are compared one by one: a sum
// can wrap around to 0 for a version that is anything but null.
constexpr bool isNull(VersionNumber const& version) noexcept
{
    return version.parts[0] == 0 && version.parts[1] == 0 && version.parts[2] == 0 && version.parts[3] == 0;
}

} // namespace qv::commons
