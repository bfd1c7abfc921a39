#include "MountedVolumes.h"

#include <QV/GP/FileName.h>
#include <QV/GP/TextCompare.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace QV::GP::DETAIL {

namespace {

// mountinfo writes space, tab, newline and backslash in mount paths as
// three-digit octal escapes.
std::string unescapeMountPath(const std::string& field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3'
            && field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7')
        {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        }
        else
        {
            out += field[i];
        }
    }
    return out;
}

} // namespace

std::vector<MountedVolume> MountedVolumes::list()
{
    std::vector<MountedVolume> volumes;
    volumes.push_back({FileName::kRootVolumeName, "/"});

    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line))
    {
        // Fields: mount id, parent id, major:minor, root, mount point, ...
        std::istringstream fields(line);
        std::string skip;
        std::string mountPoint;
        fields >> skip >> skip >> skip >> skip >> mountPoint;
        if (mountPoint.empty())
            continue;
        mountPoint = unescapeMountPath(mountPoint);
        if (mountPoint == "/" || mountPoint.front() != '/')
            continue;
        // Files bound over files (containers do this for /etc/hosts) are no
        // volumes: a volume is a place that holds items.
        struct stat info{};
        if (::stat(mountPoint.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        while (mountPoint.size() > 1 && mountPoint.back() == '/')
            mountPoint.pop_back();
        const std::size_t slash = mountPoint.rfind('/');
        std::string name = mountPoint.substr(slash + 1);
        // The colon form cannot carry a ':' in a volume name; it stands as
        // '/' there, as in every other component.
        for (char& c : name)
            if (c == ':')
                c = '/';
        bool known = false;
        for (const MountedVolume& volume : volumes)
            known = known || volume.mountPath == mountPoint;
        if (!known)
            volumes.push_back({name, mountPoint});
    }
    return volumes;
}

std::string MountedVolumes::mountPathOf(const std::vector<MountedVolume>& volumes, const std::string& name)
{
    for (const MountedVolume& volume : volumes)
        if (volume.name == name)
            return volume.mountPath;
    for (const MountedVolume& volume : volumes)
        if (wstrcmpc(volume.name.c_str(), name.c_str(), false) == 0)
            return volume.mountPath;
    return {};
}

bool MountedVolumes::isVolumeName(const std::string& name)
{
    return !mountPathOf(list(), name).empty();
}

} // namespace QV::GP::DETAIL
