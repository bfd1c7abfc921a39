#pragma once

#include <QV/GP/FileTypeDescr.h>
#include <QV/GP/FileTypeMacMagic.h>

#include <cstddef>
#include <mutex>
#include <string>

namespace QV::GP {

class FileName;

namespace DETAIL {
// Guards every registered type and group and the registry's flags.
extern std::mutex s_mtxTypesGroups;
} // namespace DETAIL

// The registry of file types (name, plural, extensions, four-character type
// codes) and of groups of them. Start-up fills it with the standard types and
// groups; registrations come in blocks so that a block can be taken back as a
// whole.
//
// Thread affinity: any thread; every operation takes the registry's mutex.
// Descriptions stay valid until deInit.
class FileTypeManager
{
public:
    FileTypeManager() = delete;

    enum eStdFileType
    {
        eStdTypeUnknown = 0,
        eStdTypeDirectory,
        eStdTypeVolume,
        eStdTypeWAV,
        eStdTypeAIFF,
        eStdTypeSD2,
        eStdTypeMIDI,
        eStdTypeExecutable,
        eStdTypeDynamicLinkLibrary,
        eStdTypeGIF,
        eStdTypeBitmap,
        eStdTypePicture,
        eStdTypeJPEG,
        eStdTypePNG,
        eStdTypeTrueTypeFont,
        eStdTypeXML,
        kStdFileTypeCount
    };

    enum eStdGroupType
    {
        eStdGroupUnknown = 0,
        eStdGroupAudio,
        eStdGroupSample,
        eStdGroupBitmap,
        eStdGroupMidi,
        kStdGroupTypeCount
    };

    // Identifies one block of registrations: its number, and where its types
    // and groups begin in registration order.
    struct RegistrationHandle
    {
        std::size_t registrationCount = 0;
        std::size_t firstType = 0;
        std::size_t firstGroup = 0;
    };

    // Registers the standard types and groups once; true when the registry is
    // ready.
    static bool init();
    // Removes every registration; descriptions handed out become invalid.
    static void deInit();

    // Opens a block of registrations (after init only) and closes it again.
    // Registering outside an open block is refused.
    static RegistrationHandle beginRegistration();
    static void endRegistration();

    // Both return null before init or while no block is open. A type also
    // gets a group of its own, with the same texts.
    static const FileTypeDescr* registerType(const char* name, const char* plural, const char* extension,
                                             const FileTypeMacMagic& macMagic);
    static const FileTypeGroupDescr* registerGroup(const char* name, const char* plural);
    static bool registerExtensionForType(const char* extension, const FileTypeDescr* type);

    // Takes back the types and groups of the block when it is the latest one;
    // the handle is then emptied.
    static void unregister(RegistrationHandle& handle);

    static const FileTypeDescr* getStdType(eStdFileType type);
    static const FileTypeGroupDescr* getStdGroup(eStdGroupType group);
    // The given group, or standard group 0 when there is none.
    static const FileTypeGroupDescr* getGroupDescrFor(const FileTypeGroupDescr* group);

    // The first type that lists the extension (given without '.', compared
    // without regard to case); standard type 0 when none does; null when a
    // second type lists it too, since the answer would then be a guess.
    static const FileTypeDescr* getUniqueTypeForExtension(const std::string& extension);
    static const FileTypeDescr* getUniqueTypeForMacMagic(const FileTypeMacMagic& macMagic);

    // Works out the type of a file name (state 1 only) from its extension or,
    // for an existing directory such as a package, as a directory. True when
    // the name's type changed.
    static bool determineType(FileName& name);

private:
    static bool registerMacMagicForType(const FileTypeMacMagic& macMagic, const FileTypeDescr* type);
    static bool addTypeToGroup(const FileTypeDescr* type, const FileTypeGroupDescr* group);
};

} // namespace QV::GP
