#include <QV/GP/FileName.h>

#include <QV/GP/FileTypeManager.h>

#include "Linux/MountedVolumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace QV::GP {

using DETAIL::MountedVolume;
using DETAIL::MountedVolumes;

const char* const FileName::s_strSeps = ":/\\";

namespace {

// The colon form and POSIX paths trade '/' and ':' inside names, as the
// classic colon/slash swap does, so that neither form loses a character.
std::string swapSeparators(std::string text)
{
    for (char& c : text)
    {
        if (c == ':')
            c = '/';
        else if (c == '/')
            c = ':';
    }
    return text;
}

std::vector<std::string> splitOn(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// POSIX components of a path: empty ones and "." drop out, ".." stays as an
// empty component, which is how the colon form writes a step up ("::").
std::vector<std::string> posixComponents(const std::string& posix)
{
    std::vector<std::string> components;
    for (const std::string& part : splitOn(posix, '/'))
    {
        if (part.empty() || part == ".")
            continue;
        components.push_back(part == ".." ? std::string() : part);
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

void FileName::clear()
{
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

    split(m_full, hint);

    // An existing item is described as the file system sees it: whether it
    // is a directory decides the state, and its path is made absolute and
    // brought to the volume that holds it.
    std::string posix = toPosix();
    struct stat info{};
    if (!posix.empty() && ::stat(posix.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
    {
        const bool isDirectory = S_ISDIR(info.st_mode);
        if (posix.front() != '/')
            posix = currentDirectory() + "/" + posix;
        if (isDirectory && posix.back() != '/')
            posix += '/';
        if (!isDirectory && posix.back() == '/')
            posix.pop_back();
        const std::string described = POSIX2HFSPath(posix);
        if (!described.empty())
        {
            m_full = described;
            m_volume.clear();
            m_name.clear();
            m_extension.clear();
            m_path = ":";
            split(m_full, isDirectory ? eStateDirectory : eStateFile);
        }
        if (m_state == eStateFile && m_extension.size() > 1)
        {
            const FileTypeDescr* type = FileTypeManager::getUniqueTypeForExtension(m_extension.substr(1));
            if (type != nullptr && type != FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown))
                m_type = type;
        }
    }

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

    if (always)
        return true;
    return (m_state == eStateFile && !m_name.empty()) || m_state == eStateDirectory || m_state == eStateVolume;
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
        result = MountedVolumes::mountPathOf(MountedVolumes::list(), m_volume);
        if (result.empty())
            return {};
        if (m_state == eStateVolume)
            return result == "/" ? result : result + "/";
        if (result.back() != '/')
            result += '/';
    }

    std::string path = m_path;
    if (!path.empty() && path.front() == ':')
        path.erase(0, 1);
    std::vector<std::string> directories = splitOn(path, ':');
    directories.pop_back(); // what follows the last ':' is never a directory

    const auto component = [](const std::string& text, std::string& out) {
        // "." and ".." are names in the colon form but steps on POSIX; such
        // a name cannot be reached there.
        if (text == "." || text == "..")
            return false;
        out += text.empty() ? std::string("..") : swapSeparators(text);
        return true;
    };

    for (const std::string& directory : directories)
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

    const bool directory = posix.back() == '/';
    const std::vector<std::string> components = posixComponents(posix);
    std::string result;
    std::size_t first = 0;

    if (posix.front() == '/')
    {
        // The deepest mount point that holds the path names its volume, as
        // long as that name leads back to the same mount point; otherwise a
        // shallower one does, down to the root volume.
        const std::vector<MountedVolume> volumes = MountedVolumes::list();
        const MountedVolume* best = &volumes.front();
        std::size_t bestDepth = 0;
        for (const MountedVolume& volume : volumes)
        {
            const std::vector<std::string> mount = posixComponents(volume.mountPath);
            if (mount.size() <= bestDepth || mount.size() > components.size())
                continue;
            bool prefix = true;
            for (std::size_t i = 0; i < mount.size() && prefix; ++i)
                prefix = !mount[i].empty() && mount[i] == components[i];
            if (prefix && MountedVolumes::mountPathOf(volumes, volume.name) == volume.mountPath)
            {
                best = &volume;
                bestDepth = mount.size();
            }
        }
        result = best->name;
        first = bestDepth;
        for (std::size_t i = first; i < components.size(); ++i)
            result += ':' + swapSeparators(components[i]);
        if (directory)
            result += ':';
        return result;
    }

    if (components.empty())
        return ":";
    if (components.size() == 1 && !directory)
        return swapSeparators(components.front());
    for (const std::string& part : components)
        result += ':' + swapSeparators(part);
    if (directory)
        result += ':';
    return result;
}

} // namespace QV::GP
