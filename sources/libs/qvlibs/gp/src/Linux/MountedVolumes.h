#pragma once

#include <string>
#include <vector>

namespace QV::GP::DETAIL {

struct MountedVolume
{
    std::string name;
    std::string mountPath;
};

// The volumes that the colon form of file names can name: "/" under the
// root volume's name, then every directory that is a mount point, named by
// its last path component. Read from /proc/self/mountinfo at each call, since
// file names are converted seldom and mounts come and go.
class MountedVolumes
{
public:
    MountedVolumes() = delete;

    static std::vector<MountedVolume> list();

    // The mount path of a volume: an exact match first, then one without
    // regard to case, as volume names are compared. Empty when none.
    static std::string mountPathOf(const std::vector<MountedVolume>& volumes, const std::string& name);

    // Whether a text names a mounted volume (without regard to case).
    static bool isVolumeName(const std::string& name);
};

} // namespace QV::GP::DETAIL
