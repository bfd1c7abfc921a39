#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace QV::UIA::DETAIL {

// A per-user claim on a name, held as an flock lock on a file in a folder
// that only the user can reach. The lock goes with the process, however it
// ends, and is never inherited by programs the process starts.
//
// Thread affinity: any thread, one object per thread.
class InstanceLock
{
public:
    enum eResult
    {
        // This object holds the claim now.
        eAcquired,
        // Another process (or another object) holds it.
        eHeldElsewhere,
        // No private folder or lock file could be had; nothing is known.
        eUnavailable,
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Claims `key` in `folder`. Calling it again while the claim is held
    // answers eAcquired and changes nothing.
    eResult acquire(const std::string& key, const std::filesystem::path& folder);
    bool held() const { return m_fd >= 0; }
    // The problem behind the last eUnavailable.
    const std::string& problem() const { return m_problem; }

    // The user's runtime folder when XDG_RUNTIME_DIR names an absolute
    // folder owned by the user and closed to others; else a folder of the
    // user's own under `sharedTemp`, made with mode 0700 when missing and
    // refused when it is a link, not the user's or open to others (someone
    // may have planted it). Nothing when neither will do.
    static std::optional<std::filesystem::path> folder(const std::filesystem::path& sharedTemp = "/tmp");

    // The lock file's name for `key`: characters other than letters, digits,
    // '.', '_' and '-' become '_', and the key is cut to fit a file name.
    // Empty for an empty key.
    static std::string fileName(const std::string& key);

private:
    int m_fd = -1;
    std::string m_problem;
};

} // namespace QV::UIA::DETAIL
