#pragma once

#include <QV/GP/VolumeManager.h>

#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace QV::GP::DETAIL {

// One line of /proc/self/mountinfo.
struct MountEntry
{
    std::string root;      // the part of the file system mounted there
    std::string mountPath; // unescaped
    std::string fsType;
    std::string source;
};

// The lines of a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::istream& in);
// This process's mount table; empty when it cannot be read.
std::vector<MountEntry> readMountTable();

bool isPseudoFileSystem(const std::string& fsType);
eVolumeType classifyFileSystem(const std::string& fsType);
// The volume name of a mount path: the root volume's name for "/", else the
// last component, with ':' standing as '/' as in the colon form.
std::string volumeNameOf(const std::string& mountPath);

// The volumes of a mount table, in table order: one per mount path (the
// mount on top wins, in the place of the first), without pseudo file systems
// and without mount paths that are no directory.
std::vector<VolumeInfo> volumesOf(const std::vector<MountEntry>& table,
                                  const std::function<bool(const std::string&)>& isDirectory);
bool isDirectoryPath(const std::string& path);

} // namespace QV::GP::DETAIL
