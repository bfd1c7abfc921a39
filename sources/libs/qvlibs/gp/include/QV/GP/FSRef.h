#pragma once

#include <cstdint>
#include <string>

namespace QV::GP {

// A reference to an existing file-system item. This platform has no catalogue
// references, so the reference is the item's absolute POSIX path, resolved as
// far as the caller asked when it was made. It stays valid only while nothing
// moves the item.
struct FSRef
{
    std::string path;
};

// What a reference's item is, as far as callers of initFromFSRef ask.
struct FSCatalogInfo
{
    bool isDirectory = false;
    // Bytes of a regular file; 0 for anything else.
    std::uint64_t dataSize = 0;
};

// Folder domains and folder kinds for FileName::getSystemFolder, with the
// values of the classic folder service so that callers can keep them.
enum eFolderDomain : short
{
    kOnAppropriateDisk = -32767,
    kLocalDomain = -32765,
    kUserDomain = -32763,
};

constexpr std::uint32_t makeFolderType(char a, char b, char c, char d)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8)
        | static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

constexpr std::uint32_t kApplicationsFolderType = makeFolderType('a', 'p', 'p', 's');
constexpr std::uint32_t kApplicationSupportFolderType = makeFolderType('a', 's', 'u', 'p');
constexpr std::uint32_t kSharedUserDataFolderType = makeFolderType('s', 'd', 'a', 't');
constexpr std::uint32_t kCurrentUserFolderType = makeFolderType('c', 'u', 's', 'r');
constexpr std::uint32_t kDocumentsFolderType = makeFolderType('d', 'o', 'c', 's');
constexpr std::uint32_t kMusicDocumentsFolderType = makeFolderType('\xB5', 'd', 'o', 'c');
constexpr std::uint32_t kPictureDocumentsFolderType = makeFolderType('p', 'd', 'o', 'c');
constexpr std::uint32_t kTemporaryFolderType = makeFolderType('t', 'e', 'm', 'p');

} // namespace QV::GP
