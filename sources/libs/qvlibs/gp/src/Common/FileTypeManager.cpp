#include <QV/GP/FileTypeManager.h>

#include <QV/GP/FileName.h>
#include <QV/GP/TextCompare.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace QV::GP {

namespace DETAIL {
std::mutex s_mtxTypesGroups;
} // namespace DETAIL

namespace {

struct Registry
{
    bool initialised = false;
    bool blockOpen = false;
    std::size_t blockCount = 0;
    std::vector<std::unique_ptr<FileTypeDescr>> types;
    std::vector<std::unique_ptr<FileTypeGroupDescr>> groups;
    std::array<const FileTypeDescr*, FileTypeManager::kStdFileTypeCount> stdTypes{};
    std::array<const FileTypeGroupDescr*, FileTypeManager::kStdGroupTypeCount> stdGroups{};
};

Registry& registry()
{
    static Registry s_registry;
    return s_registry;
}

FileTypeDescr* findOwned(Registry& r, const FileTypeDescr* type)
{
    for (auto& owned : r.types)
        if (owned.get() == type)
            return owned.get();
    return nullptr;
}

FileTypeGroupDescr* findOwned(Registry& r, const FileTypeGroupDescr* group)
{
    for (auto& owned : r.groups)
        if (owned.get() == group)
            return owned.get();
    return nullptr;
}

FileTypeGroupDescr* addGroup(Registry& r, const char* name, const char* plural)
{
    auto group = std::make_unique<FileTypeGroupDescr>();
    group->m_name = name != nullptr ? name : "";
    group->m_plural = plural != nullptr ? plural : "";
    r.groups.push_back(std::move(group));
    return r.groups.back().get();
}

// The first type for which the predicate holds, standard type 0 when none,
// and null when more than one does.
template <typename Lists>
const FileTypeDescr* uniqueType(const Lists& lists)
{
    Registry& r = registry();
    const FileTypeDescr* found = nullptr;
    for (const auto& type : r.types)
    {
        if (!lists(*type))
            continue;
        if (found != nullptr)
            return nullptr;
        found = type.get();
    }
    return found != nullptr ? found : r.stdTypes[FileTypeManager::eStdTypeUnknown];
}

struct StdTypeRow
{
    const char* name;
    const char* plural;
    std::vector<const char*> extensions;
    std::vector<FileTypeMacMagic> macMagics;
};

const std::vector<StdTypeRow>& stdTypeTable()
{
    static const std::vector<StdTypeRow> s_table = {
        {"Unknown", "All Files", {"*"}, {makeFileTypeMacMagic("????")}},
        {"Directory", "Directories", {"*"}, {makeFileTypeMacMagic("????")}},
        {"Volume", "Volumes", {"*"}, {makeFileTypeMacMagic("????")}},
        {"WAV File", "WAV Files", {"wav"},
         {makeFileTypeMacMagic("WAVE"), makeFileTypeMacMagic("WAV "), makeFileTypeMacMagic(".WAV")}},
        {"AIFF File", "AIFF Files", {"aif", "aiff"}, {makeFileTypeMacMagic("AIFF")}},
        {"SD2 File", "SD2 Files", {"sd2"}, {makeFileTypeMacMagic("Sd2f")}},
        {"MIDI File", "MIDI Files", {"mid"}, {makeFileTypeMacMagic("Midi")}},
        {"Executable File", "Executable Files", {"app"}, {makeFileTypeMacMagic("APPL")}},
        {"Dynamic Link Library", "Dynamic Link Libraries", {"dylib"},
         {makeFileTypeMacMagic("BNDL"), makeFileTypeMacMagic("aPcs")}},
        {"GIF File", "GIF Files", {"gif"}, {makeFileTypeMacMagic("GIF ")}},
        {"Bitmap File", "Bitmap Files", {"bmp"}, {makeFileTypeMacMagic("BMPf")}},
        {"Picture File", "Picture Files", {"pic"}, {makeFileTypeMacMagic("PICT")}},
        {"JPEG File", "JPEG Files", {"jpeg", "jpg", "jpe", "jfif", "jif"}, {makeFileTypeMacMagic("JPEG")}},
        {"PNG File", "PNG Files", {"png"}, {makeFileTypeMacMagic("PNGf")}},
        {"True Type Font", "True Type Fonts", {"ttf"}, {makeFileTypeMacMagic("tfil")}},
        {"XML File", "XML Files", {"xml"}, {makeFileTypeMacMagic("????")}},
    };
    return s_table;
}

} // namespace

bool FileTypeManager::init()
{
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
        if (r.initialised)
            return true;
        r.initialised = true;
    }

    beginRegistration();
    const auto& table = stdTypeTable();
    for (std::size_t i = 0; i < table.size(); ++i)
    {
        const StdTypeRow& row = table[i];
        const FileTypeDescr* type = registerType(row.name, row.plural, row.extensions.front(), row.macMagics.front());
        for (std::size_t e = 1; e < row.extensions.size(); ++e)
            registerExtensionForType(row.extensions[e], type);
        for (std::size_t m = 1; m < row.macMagics.size(); ++m)
            registerMacMagicForType(row.macMagics[m], type);
        std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
        r.stdTypes[i] = type;
    }

    const FileTypeGroupDescr* audio = registerGroup("Audio File", "Audio Files");
    const FileTypeGroupDescr* sample = registerGroup("Sample File", "Sample Files");
    const FileTypeGroupDescr* bitmap = registerGroup("Bitmap File", "Bitmap Files");
    const FileTypeGroupDescr* midi = registerGroup("Midi Sequence", "Midi Sequences");
    addTypeToGroup(getStdType(eStdTypeWAV), audio);
    addTypeToGroup(getStdType(eStdTypeAIFF), audio);
    addTypeToGroup(getStdType(eStdTypeSD2), audio);
    addTypeToGroup(getStdType(eStdTypeMIDI), midi);
    {
        std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
        r.stdGroups[eStdGroupUnknown] = r.stdTypes[eStdTypeUnknown]->m_ownGroup;
        r.stdGroups[eStdGroupAudio] = audio;
        r.stdGroups[eStdGroupSample] = sample;
        r.stdGroups[eStdGroupBitmap] = bitmap;
        r.stdGroups[eStdGroupMidi] = midi;
    }
    endRegistration();
    return true;
}

void FileTypeManager::deInit()
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    r.types.clear();
    r.groups.clear();
    r.stdTypes.fill(nullptr);
    r.stdGroups.fill(nullptr);
    r.blockCount = 0;
    r.blockOpen = false;
    r.initialised = false;
}

FileTypeManager::RegistrationHandle FileTypeManager::beginRegistration()
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    if (!r.initialised)
        return {};
    r.blockOpen = true;
    ++r.blockCount;
    return {r.blockCount, r.types.size(), r.groups.size()};
}

void FileTypeManager::endRegistration()
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    registry().blockOpen = false;
}

const FileTypeDescr* FileTypeManager::registerType(const char* name, const char* plural, const char* extension,
                                                   const FileTypeMacMagic& macMagic)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    if (!r.initialised || !r.blockOpen)
        return nullptr;
    auto type = std::make_unique<FileTypeDescr>();
    type->m_name = name != nullptr ? name : "";
    type->m_plural = plural != nullptr ? plural : "";
    if (extension != nullptr)
        type->m_extensions.emplace_back(extension);
    type->m_macMagics.push_back(macMagic);
    FileTypeGroupDescr* own = addGroup(r, name, plural);
    own->m_members.push_back(type.get());
    type->m_ownGroup = own;
    r.types.push_back(std::move(type));
    return r.types.back().get();
}

const FileTypeGroupDescr* FileTypeManager::registerGroup(const char* name, const char* plural)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    if (!r.initialised || !r.blockOpen)
        return nullptr;
    return addGroup(r, name, plural);
}

bool FileTypeManager::registerExtensionForType(const char* extension, const FileTypeDescr* type)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    FileTypeDescr* owned = findOwned(registry(), type);
    if (owned == nullptr || extension == nullptr)
        return false;
    owned->m_extensions.emplace_back(extension);
    return true;
}

bool FileTypeManager::registerMacMagicForType(const FileTypeMacMagic& macMagic, const FileTypeDescr* type)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    FileTypeDescr* owned = findOwned(registry(), type);
    if (owned == nullptr)
        return false;
    owned->m_macMagics.push_back(macMagic);
    return true;
}

bool FileTypeManager::addTypeToGroup(const FileTypeDescr* type, const FileTypeGroupDescr* group)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    FileTypeGroupDescr* owned = findOwned(r, group);
    if (owned == nullptr || findOwned(r, type) == nullptr)
        return false;
    owned->m_members.push_back(type);
    return true;
}

void FileTypeManager::unregister(RegistrationHandle& handle)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    Registry& r = registry();
    if (handle.registrationCount == 0 || handle.registrationCount != r.blockCount)
        return;
    // Standard slots that point into the block go with it.
    for (std::size_t i = handle.firstType; i < r.types.size(); ++i)
        std::replace(r.stdTypes.begin(), r.stdTypes.end(), static_cast<const FileTypeDescr*>(r.types[i].get()),
                     static_cast<const FileTypeDescr*>(nullptr));
    for (std::size_t i = handle.firstGroup; i < r.groups.size(); ++i)
        std::replace(r.stdGroups.begin(), r.stdGroups.end(),
                     static_cast<const FileTypeGroupDescr*>(r.groups[i].get()),
                     static_cast<const FileTypeGroupDescr*>(nullptr));
    // Older groups may have taken members from this block.
    for (std::size_t g = 0; g < std::min(handle.firstGroup, r.groups.size()); ++g)
    {
        auto& members = r.groups[g]->m_members;
        for (std::size_t i = handle.firstType; i < r.types.size(); ++i)
            members.erase(std::remove(members.begin(), members.end(), r.types[i].get()), members.end());
    }
    r.types.resize(std::min(handle.firstType, r.types.size()));
    r.groups.resize(std::min(handle.firstGroup, r.groups.size()));
    r.blockOpen = false;
    --r.blockCount;
    handle = {};
}

const FileTypeDescr* FileTypeManager::getStdType(eStdFileType type)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    if (type < 0 || type >= kStdFileTypeCount)
        return nullptr;
    return registry().stdTypes[type];
}

const FileTypeGroupDescr* FileTypeManager::getStdGroup(eStdGroupType group)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    if (group < 0 || group >= kStdGroupTypeCount)
        return nullptr;
    return registry().stdGroups[group];
}

const FileTypeGroupDescr* FileTypeManager::getGroupDescrFor(const FileTypeGroupDescr* group)
{
    return group != nullptr ? group : getStdGroup(eStdGroupUnknown);
}

const FileTypeDescr* FileTypeManager::getUniqueTypeForExtension(const std::string& extension)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    return uniqueType([&extension](const FileTypeDescr& type) {
        return std::any_of(type.m_extensions.begin(), type.m_extensions.end(), [&extension](const std::string& listed) {
            return DETAIL::equalIgnoringCase(listed, extension);
        });
    });
}

const FileTypeDescr* FileTypeManager::getUniqueTypeForMacMagic(const FileTypeMacMagic& macMagic)
{
    std::lock_guard<std::mutex> lock(DETAIL::s_mtxTypesGroups);
    return uniqueType([&macMagic](const FileTypeDescr& type) {
        return std::find(type.m_macMagics.begin(), type.m_macMagics.end(), macMagic) != type.m_macMagics.end();
    });
}

bool FileTypeManager::determineType(FileName& name)
{
    if (name.getState() != FileName::eStateFile)
        return false;

    const FileTypeDescr* unknown = getStdType(eStdTypeUnknown);
    std::string extension = name.getExtension();
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    const FileTypeDescr* type = extension.empty() ? nullptr : getUniqueTypeForExtension(extension);

    if (type == nullptr || type == unknown)
    {
        // Files here carry no type codes, so a name that says nothing by its
        // extension can only be recognised as a directory, such as a package.
        struct stat info{};
        const std::string path = name.getSystemPath(true, true);
        if (!path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        {
            name.setType(getStdType(eStdTypeDirectory));
            return true;
        }
        return false;
    }

    const bool changed = type != name.getType();
    name.setType(type);
    return changed;
}

} // namespace QV::GP
