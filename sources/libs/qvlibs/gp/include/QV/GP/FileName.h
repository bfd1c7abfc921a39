#pragma once

#include <QV/GP/FSRef.h>

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace QV::GP {

class FileTypeDescr;

// The system's one type for a path. The full path is kept in the colon form:
// a volume, a colon, each directory followed by a colon, then the name with
// its extension ("Root:home:me:song.wav"). Split from it are the volume, the
// directory path (":home:me:"), the name ("song"), the extension (".wav"),
// and the subpath of an item inside a container file ("<item>").
//
// On this platform the colon form is converted to and from POSIX paths by
// the library itself. "/" is the volume named kRootVolumeName; every other
// mount point is a volume named by the last component of its mount path
// (/media/usb is "usb"). A ':' inside a POSIX name stands as '/' in the colon
// form and back. Names are values: no operation here takes a lock.
class FileName
{
public:
    enum eState : std::uint32_t
    {
        eStateEmpty = 0,
        eStateFile = 1,
        eStateDirectory = 2,
        eStateVolume = 3,
    };

    // Whether a path given to setPath starts with the volume.
    enum eWithVolume
    {
        ePathWithoutVolume = 0,
        ePathWithVolume = 1,
    };

    // The name of the volume mounted at "/".
    static constexpr const char* kRootVolumeName = "Root";
    // The separators of colon-form, POSIX and foreign paths.
    static const char* const s_strSeps;

    FileName() = default;
    explicit FileName(const std::string& path);
    explicit FileName(const char* path);
    // A POSIX path; a trailing '/' makes it a directory. A path that cannot
    // be converted gives the empty name.
    explicit FileName(const boost::filesystem::path& path);
    // Copies deep-copy the name of the container.
    FileName(const FileName& other);
    FileName& operator=(const FileName& other);
    FileName(FileName&&) noexcept = default;
    FileName& operator=(FileName&&) noexcept = default;
    ~FileName();

    // Parses the full path again. With always set the answer is true;
    // otherwise it is true for a file with a name, a directory or a volume.
    bool init(bool always);

    void setFull(const std::string& full);
    // Replaces the directory path and keeps name and extension; a name that
    // was empty or a volume becomes a directory.
    void setPath(const std::string& path, eWithVolume withVolume);
    void clear();
    void setType(const FileTypeDescr* type) noexcept { m_type = type; }
    // The name of the container file that holds the item named by the
    // subpath; none until a container reader sets it. Parsing drops it.
    void setContainerName(const FileName& container);
    const FileName* getContainerName() const noexcept { return m_container.get(); }

    const std::string& getFull() const noexcept { return m_full; }
    const std::string& getVolume() const noexcept { return m_volume; }
    const std::string& getPath() const noexcept { return m_path; }
    const std::string& getName() const noexcept { return m_name; }
    const std::string& getExtension() const noexcept { return m_extension; }
    const std::string& getSubpath() const noexcept { return m_subpath; }
    const FileTypeDescr* getType() const noexcept { return m_type; }
    eState getState() const noexcept { return m_state; }
    bool isRelative() const noexcept { return m_relative; }

    // The POSIX path, ending in '/' for anything but a file; empty when the
    // name cannot be converted (an unknown volume, an empty name). With
    // preferExisting, an existing item's path is made absolute. Names are
    // stored as given on this platform, so the file-system form is the same
    // text as UTF-8.
    std::string getSystemPath(bool preferExisting, bool fileSystemForm) const;
    std::string getFilesystemPath() const { return getSystemPath(true, true); }

    // The colon form of a POSIX path; empty for a null or empty path. A
    // relative path gives a relative colon form (":a:b" or a bare name).
    static std::string POSIX2HFSPath(const unsigned char* posixPath);
    static std::string POSIX2HFSPath(const std::string& posixPath);

    // A reference to the existing item: its absolute path, with every link
    // followed when resolveAlias is set, else naming a link itself. False
    // when nothing exists there or the name has a subpath (container items
    // are not reachable yet). isDirectory, when given, receives 1 or 0.
    bool getFSRef(FSRef& ref, bool resolveAlias, unsigned char* isDirectory) const;
    // Describes the referenced item as parsing describes an existing one and
    // fills info when given. False, and the name unchanged, when the item no
    // longer exists or its path has no colon form.
    bool initFromFSRef(const FSRef& ref, FSCatalogInfo* info, bool resolveAlias);
    // The colon form of the referenced item (a directory ends in ':'); empty
    // when it no longer exists or cannot be converted.
    static std::string getFullFromFSRef(const FSRef& ref);
    // A folder of the system or the user as a directory name. The classic
    // folder kinds map to this platform's folders as follows; any other kind,
    // or a kind in a domain it has no place in, gives false:
    //   current user           any domain             $HOME
    //   documents, music,      user or appropriate    $HOME/Documents, /Music,
    //   pictures               disk                   /Pictures (XDG defaults)
    //   application support    user                   $XDG_DATA_HOME or ~/.local/share
    //                          local or appropriate   /usr/local/share
    //   applications           user                   <application support>/applications
    //                          local or appropriate   /usr/share/applications
    //   temporary items        any domain             $TMPDIR or /tmp
    // Shared user data has no counterpart here. A folder that does not exist
    // gives false unless create is set, which makes it (with its parents).
    static bool getSystemFolder(short domain, unsigned int folderType, FileName& folder, bool create);

private:
    void split(const std::string& text, eState hint);
    // Takes the parts from an existing item's absolute POSIX path; false,
    // with nothing changed, when the path has no colon form.
    bool describeExisting(std::string posix, bool isDirectory);
    // The parts that follow from the state: relative flag, extension, type.
    void settleState();
    std::string toPosix() const;

    std::string m_full;
    std::string m_volume;
    std::string m_path;
    std::string m_name;
    std::string m_extension;
    std::string m_subpath;
    const FileTypeDescr* m_type = nullptr;
    eState m_state = eStateEmpty;
    std::unique_ptr<FileName> m_container;
    bool m_relative = false;
};

} // namespace QV::GP
