#include <QV/GP/FileName.h>

#include <QV/GP/FileTypeManager.h>

#include "Linux/MountedVolumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace QV::GP {

using DETAIL::MountedVolume;
using DETAIL::MountedVolumes;

const char* const FileName::s_strSeps = ":/\\";

namespace {

// The colon form and POSIX paths trade '/' and ':' inside names, as the
// classic colon/slash swap does, so that neither form loses a character.
void appendSwapped(std::string& out, std::string_view text)
{
    for (char c : text)
        out += c == ':' ? '/' : c == '/' ? ':' : c;
}

// The parts of a text between separators, the last one included (empty when
// the text ends in a separator). Views into the text, so that parsing a path
// copies nothing.
std::vector<std::string_view> splitOn(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// POSIX components of a path: empty ones and "." drop out, ".." stays as an
// empty component, which is how the colon form writes a step up ("::").
std::vector<std::string_view> posixComponents(std::string_view posix)
{
    std::vector<std::string_view> components;
    for (const std::string_view part : splitOn(posix, '/'))
    {
        if (part.empty() || part == ".")
            continue;
        components.push_back(part == ".." ? std::string_view() : part);
    }
    return components;
}

std::string currentDirectory()
{
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return {};
    return buffer.data();
}

} // namespace

FileName::FileName(const std::string& path) : m_full(path)
{
    init(true);
}

FileName::FileName(const char* path) : FileName(std::string(path != nullptr ? path : ""))
{
}

FileName::FileName(const boost::filesystem::path& path) : FileName(POSIX2HFSPath(path.string()))
{
}

FileName::FileName(const FileName& other)
    : m_full(other.m_full),
      m_volume(other.m_volume),
      m_path(other.m_path),
      m_name(other.m_name),
      m_extension(other.m_extension),
      m_subpath(other.m_subpath),
      m_type(other.m_type),
      m_state(other.m_state),
      m_container(other.m_container ? std::make_unique<FileName>(*other.m_container) : nullptr),
      m_relative(other.m_relative)
{
}

FileName& FileName::operator=(const FileName& other)
{
    if (this != &other)
    {
        FileName copy(other);
        *this = std::move(copy);
    }
    return *this;
}

FileName::~FileName() = default;

void FileName::setContainerName(const FileName& container)
{
    m_container = std::make_unique<FileName>(container);
}

void FileName::clear()
{
    m_container.reset();
    m_full.clear();
    m_volume.clear();
    m_path.clear();
    m_name.clear();
    m_extension.clear();
    m_subpath.clear();
    m_type = nullptr;
    m_state = eStateEmpty;
    m_relative = false;
}

void FileName::setFull(const std::string& full)
{
    m_full = full;
    m_state = eStateEmpty;
    init(true);
}

void FileName::setPath(const std::string& path, eWithVolume withVolume)
{
    if (m_state == eStateEmpty || m_state == eStateVolume)
        m_state = eStateDirectory;
    std::string newPath = path;
    if (newPath.empty() || newPath.back() != ':')
        newPath += ':';
    if (withVolume == ePathWithoutVolume)
    {
        if (!m_volume.empty() && newPath.front() != ':')
            newPath.insert(0, 1, ':');
        newPath.insert(0, m_volume);
    }
    // The subpath goes back on so that parsing cuts it off again.
    m_full = newPath + m_name + m_extension + m_subpath;
    init(true);
}

bool FileName::init(bool always)
{
    const eState hint = m_state;
    m_container.reset();
    if (m_full.empty())
    {
        clear();
        return always;
    }

    m_volume.clear();
    m_name.clear();
    m_extension.clear();
    m_subpath.clear();
    m_path = ":";
    m_relative = false;

    if (MountedVolumes::isVolumeName(m_full))
    {
        m_state = hint != eStateEmpty ? hint : eStateVolume;
        m_volume = m_full;
        m_type = FileTypeManager::getStdType(FileTypeManager::eStdTypeVolume);
        return true;
    }

    const std::size_t lastColon = m_full.rfind(':');
    const std::size_t subpath = m_full.find('<', lastColon == std::string::npos ? 0 : lastColon + 1);
    if (subpath != std::string::npos)
    {
        m_subpath = m_full.substr(subpath);
        m_full.erase(subpath);
    }
    // A subpath with no container name in front of it names nothing.
    if (m_full.empty())
    {
        m_path.clear();
        m_type = nullptr;
        m_state = eStateEmpty;
        return always;
    }

    split(m_full, hint);

    // An existing item is described as the file system sees it: whether it
    // is a directory decides the state, and its path is made absolute and
    // brought to the volume that holds it.
    std::string posix = toPosix();
    struct stat info{};
    if (!posix.empty() && ::stat(posix.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
    {
        if (posix.front() != '/')
            posix = currentDirectory() + "/" + posix;
        describeExisting(posix, S_ISDIR(info.st_mode));
    }
    settleState();

    if (always)
        return true;
    return (m_state == eStateFile && !m_name.empty()) || m_state == eStateDirectory || m_state == eStateVolume;
}

bool FileName::describeExisting(std::string posix, bool isDirectory)
{
    // An existing item is described as the file system sees it: whether it
    // is a directory decides the state, and its path is brought to the
    // volume that holds it.
    if (isDirectory && posix.back() != '/')
        posix += '/';
    if (!isDirectory && posix.back() == '/')
        posix.pop_back();
    const std::string described = POSIX2HFSPath(posix);
    if (described.empty())
        return false;
    m_full = described;
    m_volume.clear();
    m_name.clear();
    m_extension.clear();
    m_path = ":";
    split(m_full, isDirectory ? eStateDirectory : eStateFile);
    if (m_state == eStateFile && m_extension.size() > 1)
    {
        const FileTypeDescr* type = FileTypeManager::getUniqueTypeForExtension(m_extension.substr(1));
        if (type != nullptr && type != FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown))
            m_type = type;
    }
    return true;
}

void FileName::settleState()
{
    switch (m_state)
    {
    case eStateFile:
        m_relative = m_volume.empty() || m_path.empty();
        break;
    case eStateVolume:
        m_extension.clear();
        m_type = FileTypeManager::getStdType(FileTypeManager::eStdTypeVolume);
        break;
    case eStateDirectory:
        m_extension.clear();
        m_type = FileTypeManager::getStdType(FileTypeManager::eStdTypeDirectory);
        break;
    case eStateEmpty:
        break;
    }
}

void FileName::split(const std::string& text, eState hint)
{
    const bool hasColon = text.find(':') != std::string::npos;
    if (text.front() == ':' && text.back() == ':')
    {
        m_path = text;
    }
    else if (text.back() == ':')
    {
        std::string rest = text;
        if ((hasColon || hint == eStateVolume) && m_volume.empty())
        {
            const std::size_t colon = text.find(':');
            m_volume = text.substr(0, colon);
            rest = text.substr(colon);
        }
        m_path = rest;
    }
    else
    {
        std::string rest = text;
        if (hasColon || hint == eStateVolume)
        {
            const std::size_t colon = text.find(':');
            m_volume = text.substr(0, colon);
            rest = colon == std::string::npos ? std::string() : text.substr(colon);
        }
        const std::size_t last = rest.rfind(':');
        if (last != std::string::npos)
        {
            m_path = rest.substr(0, last + 1);
            m_name = rest.substr(last + 1);
        }
        else
        {
            m_name = rest;
        }
    }

    if (!m_path.empty() && m_path.back() != ':')
        m_path += ':';

    const std::size_t dot = m_name.rfind('.');
    if (dot != std::string::npos && dot != 0)
    {
        m_extension = m_name.substr(dot);
        m_name.erase(dot);
    }

    if (!m_name.empty())
        m_state = eStateFile;
    else if (!m_path.empty())
        m_state = eStateDirectory;
    else if (!m_volume.empty())
        m_state = eStateVolume;
    else
        m_state = eStateEmpty;
}

std::string FileName::toPosix() const
{
    if (m_state == eStateEmpty)
        return {};

    std::string result;
    if (!m_volume.empty())
    {
        result = MountedVolumes::mountPathOf(*MountedVolumes::current(), m_volume);
        if (result.empty())
            return {};
        if (m_state == eStateVolume)
            return result == "/" ? result : result + "/";
        if (result.back() != '/')
            result += '/';
    }

    std::string_view path = m_path;
    if (!path.empty() && path.front() == ':')
        path.remove_prefix(1);
    std::vector<std::string_view> directories = splitOn(path, ':');
    directories.pop_back(); // what follows the last ':' is never a directory

    const auto component = [](std::string_view text, std::string& out) {
        // "." and ".." are names in the colon form but steps on POSIX; such
        // a name cannot be reached there.
        if (text == "." || text == "..")
            return false;
        if (text.empty())
            out += "..";
        else
            appendSwapped(out, text);
        return true;
    };

    for (const std::string_view directory : directories)
    {
        if (!component(directory, result))
            return {};
        result += '/';
    }

    if (m_state == eStateFile)
    {
        if (m_name.empty() && m_extension.empty())
            return {};
        if (!component(m_name + m_extension, result))
            return {};
    }
    else if (result.empty())
    {
        result = "./";
    }
    return result;
}

std::string FileName::getSystemPath(bool preferExisting, bool fileSystemForm) const
{
    std::string posix = toPosix();
    if (posix.empty() || !preferExisting || posix.front() == '/')
        return posix;
    struct stat info{};
    if (::stat(posix.c_str(), &info) != 0)
        return posix;
    const std::string cwd = currentDirectory();
    return cwd.empty() ? posix : cwd + "/" + posix;
}

std::string FileName::POSIX2HFSPath(const unsigned char* posixPath)
{
    if (posixPath == nullptr)
        return {};
    return POSIX2HFSPath(std::string(reinterpret_cast<const char*>(posixPath)));
}

std::string FileName::POSIX2HFSPath(const std::string& posix)
{
    if (posix.empty())
        return {};

    // A path that ends in '/', "." or ".." names a directory.
    const std::size_t lastSlash = posix.rfind('/');
    const std::string_view last =
        std::string_view(posix).substr(lastSlash == std::string::npos ? 0 : lastSlash + 1);
    const bool directory = last.empty() || last == "." || last == "..";
    const std::vector<std::string_view> components = posixComponents(posix);
    std::string result;
    result.reserve(posix.size() + 8);

    if (posix.front() == '/')
    {
        // The deepest mount point that holds the path names its volume, as
        // long as that name leads back to the same mount point; otherwise a
        // shallower one does, down to the root volume.
        const auto volumes = MountedVolumes::current();
        const MountedVolume* best = &volumes->front();
        for (const MountedVolume& volume : *volumes)
        {
            const std::vector<std::string>& mount = volume.components;
            if (mount.size() <= best->components.size() || mount.size() > components.size() || !volume.reachableByName)
                continue;
            if (std::equal(mount.begin(), mount.end(), components.begin()))
                best = &volume;
        }
        result = best->name;
        for (std::size_t i = best->components.size(); i < components.size(); ++i)
        {
            result += ':';
            appendSwapped(result, components[i]);
        }
        if (directory)
            result += ':';
        return result;
    }

    // A relative path always begins with ':', so that a name in the current
    // directory is never taken for a volume of the same name.
    for (const std::string_view part : components)
    {
        result += ':';
        appendSwapped(result, part);
    }
    if (directory || components.empty())
        result += ':';
    return result;
}

namespace {

// The absolute form of a path without a trailing '/' (except the root), or
// empty when the current directory cannot be had.
std::string absoluteWithoutSlash(std::string posix)
{
    if (posix.empty())
        return {};
    if (posix.front() != '/')
    {
        const std::string cwd = currentDirectory();
        if (cwd.empty())
            return {};
        posix = cwd + "/" + posix;
    }
    while (posix.size() > 1 && posix.back() == '/')
        posix.pop_back();
    return posix;
}

// Every link and step followed; empty when nothing exists there.
std::string resolvedPath(const std::string& posix)
{
    char* resolved = ::realpath(posix.c_str(), nullptr);
    if (resolved == nullptr)
        return {};
    std::string result = resolved;
    std::free(resolved);
    return result;
}

} // namespace

bool FileName::getFSRef(FSRef& ref, bool resolveAlias, unsigned char* isDirectory) const
{
    if (!m_subpath.empty())
        return false;
    std::string posix = absoluteWithoutSlash(toPosix());
    if (posix.empty())
        return false;
    if (resolveAlias)
        posix = resolvedPath(posix);
    struct stat info{};
    if (posix.empty() || ::lstat(posix.c_str(), &info) != 0)
        return false;
    ref.path = posix;
    if (isDirectory != nullptr)
        *isDirectory = S_ISDIR(info.st_mode) ? 1 : 0;
    return true;
}

bool FileName::initFromFSRef(const FSRef& ref, FSCatalogInfo* info, bool resolveAlias)
{
    std::string posix = absoluteWithoutSlash(ref.path);
    if (resolveAlias && !posix.empty())
        posix = resolvedPath(posix);
    struct stat status{};
    if (posix.empty() || ::stat(posix.c_str(), &status) != 0)
        return false;
    const bool directory = S_ISDIR(status.st_mode);

    FileName described;
    if (!described.describeExisting(posix, directory))
        return false;
    described.settleState();
    *this = std::move(described);
    if (info != nullptr)
    {
        info->isDirectory = directory;
        info->dataSize = S_ISREG(status.st_mode) && status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    }
    return true;
}

std::string FileName::getFullFromFSRef(const FSRef& ref)
{
    std::string posix = absoluteWithoutSlash(ref.path);
    struct stat info{};
    if (posix.empty() || ::stat(posix.c_str(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode) && posix.back() != '/')
        posix += '/';
    return POSIX2HFSPath(posix);
}

} // namespace QV::GP
