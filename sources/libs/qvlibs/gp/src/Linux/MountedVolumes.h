#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace QV::GP::DETAIL {

struct MountedVolume
{
    std::string name;
    std::string mountPath;
    // The components of the mount path ("/media/usb" gives media, usb), for
    // matching path prefixes without splitting the mount path each time.
    std::vector<std::string> components;
    // Whether looking the name up finds this volume: of two mount points
    // with the same last component only the first can be named.
    bool reachableByName = false;
};

using MountedVolumeList = std::vector<MountedVolume>;

// The volumes that the colon form of file names can name: "/" under the
// root volume's name, then every directory that is a mount point, named by
// its last path component.
//
// File names are parsed often, so the list is read from /proc/self/mountinfo
// once and kept; it is read again only after the mounts changed. Two things
// tell it so: invalidate(), which the volume watcher calls when the mount
// table signals a change, and, for programs that run no watcher, a check of
// the mount table's change signal (poll on a kept descriptor), made at most
// every kRecheckInterval. Between those, looking a volume up costs no system
// call. Every function may be called from any thread.
class MountedVolumes
{
public:
    MountedVolumes() = delete;

    // How stale the list may become while nothing calls invalidate().
    static constexpr int kRecheckIntervalMs = 250;

    // The current list, shared: a caller holds it as long as it needs one
    // consistent view, while a refresh builds a new one beside it.
    static std::shared_ptr<const MountedVolumeList> current();

    // A copy of the current list.
    static MountedVolumeList list();

    // Marks the list stale: the next look-up reads the mount table again.
    // Makes no system call and takes no lock, so a watcher may call it from
    // its own thread as soon as it sees /proc/self/mountinfo change (POLLPRI).
    static void invalidate() noexcept;

    // How many times the mount table has been read, for tests and
    // benchmarks that check that look-ups do not read it.
    static std::uint64_t readCount() noexcept;

    // The mount path of a volume: an exact match first, then one without
    // regard to case, as volume names are compared. Empty when none.
    static std::string mountPathOf(const MountedVolumeList& volumes, const std::string& name);

    // Whether a text names a mounted volume (without regard to case).
    static bool isVolumeName(const std::string& name);
};

} // namespace QV::GP::DETAIL
