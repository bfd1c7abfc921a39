#include "Linux/MountTable.h"

#include <QV/GP/FileName.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace QV::GP::DETAIL {

namespace {

// mountinfo writes a space, tab, newline or backslash inside a field as a
// backslash and three octal digits.
std::string unescapeField(const std::string& field)
{
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3'
            && octal(field[i + 2]) && octal(field[i + 3]))
        {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

constexpr std::array<const char*, 21> kPseudoFileSystems = {
    "proc",    "sysfs",     "devtmpfs", "devpts",   "cgroup",  "cgroup2",     "mqueue",
    "debugfs", "tracefs",   "securityfs", "pstore", "bpf",     "configfs",    "fusectl",
    "hugetlbfs", "autofs",  "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs",
};

} // namespace

std::vector<MountEntry> parseMountInfo(std::istream& in)
{
    std::vector<MountEntry> table;
    std::string line;
    while (std::getline(in, line))
    {
        // id, parent id, major:minor, root, mount point, options, optional
        // fields ended by "-", then type, source and super-block options.
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPath, options, word;
        if (!(fields >> id >> parent >> device >> root >> mountPath >> options))
            continue;
        bool separated = false;
        while (fields >> word)
            if (word == "-")
            {
                separated = true;
                break;
            }
        MountEntry entry;
        if (!separated || !(fields >> entry.fsType))
            continue;
        fields >> entry.source;
        entry.root = unescapeField(root);
        entry.mountPath = unescapeField(mountPath);
        entry.source = unescapeField(entry.source);
        if (entry.mountPath.empty() || entry.mountPath.front() != '/')
            continue;
        table.push_back(std::move(entry));
    }
    return table;
}

std::vector<MountEntry> readMountTable()
{
    std::ifstream in("/proc/self/mountinfo");
    return parseMountInfo(in);
}

bool isPseudoFileSystem(const std::string& fsType)
{
    return std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), fsType) != kPseudoFileSystems.end();
}

eVolumeType classifyFileSystem(const std::string& fsType)
{
    static const std::array<const char*, 9> local = {"ext2", "ext3", "ext4", "xfs", "btrfs",
                                                      "vfat", "exfat", "ntfs", "ntfs3"};
    if (std::find(local.begin(), local.end(), fsType) != local.end())
        return eVolumeTypeLocal;
    if (fsType.rfind("nfs", 0) == 0 || fsType == "cifs" || fsType == "smb3")
        return eVolumeTypeNetwork;
    if (fsType == "iso9660" || fsType == "udf")
        return eVolumeTypeOptical;
    return eVolumeTypeOther;
}

std::string volumeNameOf(const std::string& mountPath)
{
    std::string path = mountPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/")
        return FileName::kRootVolumeName;
    std::string name = path.substr(path.rfind('/') + 1);
    std::replace(name.begin(), name.end(), ':', '/');
    return name;
}

bool isDirectoryPath(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<VolumeInfo> volumesOf(const std::vector<MountEntry>& table,
                                  const std::function<bool(const std::string&)>& isDirectory)
{
    std::vector<VolumeInfo> volumes;
    for (const MountEntry& entry : table)
    {
        if (isPseudoFileSystem(entry.fsType) || !isDirectory(entry.mountPath))
            continue;
        VolumeInfo volume;
        volume.name = volumeNameOf(entry.mountPath);
        volume.type = classifyFileSystem(entry.fsType);
        volume.mountPath = entry.mountPath;
        const auto same = std::find_if(volumes.begin(), volumes.end(),
                                       [&](const VolumeInfo& known) { return known.mountPath == entry.mountPath; });
        if (same != volumes.end())
            *same = volume;
        else
            volumes.push_back(volume);
    }
    return volumes;
}

} // namespace QV::GP::DETAIL
