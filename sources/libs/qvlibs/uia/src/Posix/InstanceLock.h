#pragma once

#include <filesystem>
#include <string>

namespace QV::UIA::DETAIL {

// A claim on a name for the whole machine, held as an flock lock on a file in
// a folder that every user of the machine can reach, so that the instances of
// all users (and of root) meet at it. The lock goes with the process, however
// it ends, and is never inherited by programs the process starts.
//
// Thread affinity: any thread, one object per thread.
class InstanceLock
{
public:
    enum eResult
    {
        // This object holds the claim now.
        eAcquired,
        // Another process (or another object) holds it, or its file cannot
        // be opened at all, which problem() then tells: a file that another
        // user made unreadable, or something other than a file put in its
        // place, is taken as held rather than let two instances run.
        eHeldElsewhere,
        // No name to claim, or the file opened but could not be locked;
        // nothing is known.
        eUnavailable,
    };

    // The environment variable that names another folder for the claims in
    // place of the machine's. Programs that see a world of their own (those a
    // simulated keyboard starts, or a test's) are kept apart with it.
    static constexpr const char* kFolderVariable = "QV_INSTANCE_LOCK_DIR";

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Claims `key` in `folder`. Calling it again while the claim is held
    // answers eAcquired and changes nothing.
    eResult acquire(const std::string& key, const std::filesystem::path& folder);
    bool held() const { return m_fd >= 0; }
    // Why the last claim was not taken, when the lock file itself stood in
    // the way; empty when it was simply held.
    const std::string& problem() const { return m_problem; }

    // The folder of the claims: the one kFolderVariable names when it is an
    // absolute path; else `machineLocks`, the system's folder for lock files,
    // where it is a folder; else `sharedTemp`.
    static std::filesystem::path folder(const std::filesystem::path& machineLocks = "/run/lock",
                                        const std::filesystem::path& sharedTemp = "/tmp");

    // The lock file's name for `key`: characters other than letters, digits,
    // '.', '_' and '-' become '_', and the key is cut to fit a file name.
    // Empty for an empty key.
    static std::string fileName(const std::string& key);

private:
    int m_fd = -1;
    std::string m_problem;
};

} // namespace QV::UIA::DETAIL
