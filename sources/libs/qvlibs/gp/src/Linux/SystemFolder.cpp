#include <QV/GP/FileName.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace QV::GP {

namespace {

// Only absolute values count: the XDG base-directory rules say to ignore a
// relative one, and a relative folder would move with the current directory.
std::string absoluteEnvironment(const char* variable)
{
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/')
        return {};
    return value;
}

std::string homeFolder()
{
    std::string home = absoluteEnvironment("HOME");
    if (!home.empty())
        return home;
    // Without HOME the password database still knows the user's folder.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr
        && result->pw_dir != nullptr && result->pw_dir[0] == '/')
        return result->pw_dir;
    return {};
}

std::string inHome(const char* leaf)
{
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/" + leaf;
}

std::string userDataFolder()
{
    const std::string data = absoluteEnvironment("XDG_DATA_HOME");
    return data.empty() ? inHome(".local/share") : data;
}

// The POSIX folder of a kind in a domain; empty when this platform has none.
std::string folderPath(short domain, unsigned int folderType)
{
    const bool user = domain == kUserDomain;
    const bool userLike = user || domain == kOnAppropriateDisk;
    const bool local = domain == kLocalDomain || domain == kOnAppropriateDisk;

    switch (folderType)
    {
    case kCurrentUserFolderType:
        return homeFolder();
    case kDocumentsFolderType:
        return userLike ? inHome("Documents") : std::string();
    case kMusicDocumentsFolderType:
        return userLike ? inHome("Music") : std::string();
    case kPictureDocumentsFolderType:
        return userLike ? inHome("Pictures") : std::string();
    case kApplicationSupportFolderType:
        if (user)
            return userDataFolder();
        return local ? std::string("/usr/local/share") : std::string();
    case kApplicationsFolderType:
        if (user)
        {
            const std::string data = userDataFolder();
            return data.empty() ? data : data + "/applications";
        }
        return local ? std::string("/usr/share/applications") : std::string();
    case kTemporaryFolderType:
    {
        const std::string tmp = absoluteEnvironment("TMPDIR");
        return tmp.empty() ? std::string("/tmp") : tmp;
    }
    default:
        return {};
    }
}

bool isDirectory(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes the folder and its missing parents; user folders are private, as
// the XDG rules ask of the folders they name.
bool makeFolders(const std::string& path)
{
    std::size_t next = 1;
    for (;;)
    {
        const std::size_t slash = path.find('/', next);
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && !isDirectory(prefix) && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return isDirectory(path);
        next = slash + 1;
    }
}

} // namespace

bool FileName::getSystemFolder(short domain, unsigned int folderType, FileName& folder, bool create)
{
    std::string path = folderPath(domain, folderType);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    if (!isDirectory(path) && !(create && makeFolders(path)))
        return false;
    FileName found{boost::filesystem::path(path == "/" ? path : path + "/")};
    if (found.getState() != eStateDirectory && found.getState() != eStateVolume)
        return false;
    folder = std::move(found);
    return true;
}

} // namespace QV::GP
