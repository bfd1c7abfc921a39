#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace QV::GP {

class FileName;

// The container file format: many items packed into one file, or into a
// chain of part files that form one address space. A container starts with
// zero or more 256-byte metadata blocks, followed by one or more tables of
// contents, each followed by the data area of its items. All numbers are
// little-endian.
//
// Every number read from a container is untrusted: counts, lengths and
// offsets are checked against the file and the data area before they are
// used, and a damaged container is refused rather than read outside its
// bounds.
class FileContainer
{
public:
    FileContainer() = delete;

    static constexpr std::size_t kMetaBlockSize = 256;
    static constexpr std::size_t kMagicSize = 16;
    // Both marks are 16 ASCII characters, with two blanks before the closing
    // slash pair.
    static constexpr char kMetaMagic[] = "/\\ QV FC MTD  /\\";
    static constexpr char kTocMagic[] = "/\\ QV FC TOC  /\\";
    // The name a parser gives the container itself.
    static constexpr char INVALID_ENTRY[] = "/\\/\\";
    // The version that asks for any version of an item, the highest winning.
    static constexpr std::uint32_t kAnyVersion = 0xFFFFFFFFu;
    // The descriptor value that asks the metadata writer to keep the stored one.
    static constexpr std::uint32_t kKeepDescriptorValue = 0xFFFFFFFFu;

    // The header and entry size of a table of contents: 640 bytes for table
    // version 1, 160 for every other version.
    static constexpr std::size_t kTocEntrySize = 160;
    static constexpr std::size_t kTocEntrySizeV1 = 640;
    static constexpr std::size_t tocEntrySize(std::uint32_t version) noexcept
    {
        return version == 1 ? kTocEntrySizeV1 : kTocEntrySize;
    }
    // The count word's bit that says a mapping table follows the header.
    static constexpr std::uint64_t kMappingTableBit = 1ull << 32;
    // The longest description a metadata block holds, in UTF-16 units.
    static constexpr std::size_t kMaxDescriptionUnits = 32;

    enum eMetaKind : std::uint32_t
    {
        eMetaDescription = 1,
        eMetaDescriptor = 2,
    };

    // One metadata block as it stands in the file.
    struct tMetaHeader
    {
        std::array<std::uint8_t, kMetaBlockSize> bytes{};

        bool hasMagic() const noexcept;
        std::uint32_t kind() const noexcept;
        std::uint32_t descriptorValue() const noexcept;
        std::uint32_t partCount() const noexcept;
        std::uint32_t extraLength() const noexcept;
        // The description text as UTF-8, bounded by its field when the
        // terminator is missing.
        std::string description() const;
        // Puts the text as UTF-16 units and a terminator into the field; a
        // longer text is cut to the field's 32 units (never inside a pair).
        void setDescription(const std::string& text);

        static tMetaHeader makeDescriptor(std::uint32_t value, std::uint32_t partCount);
    };

    // Whether the bytes start a table of contents: the zero word, the eight
    // F0 bytes and the mark (the version word is not judged).
    static bool isTocHeader(const std::uint8_t* header, std::size_t size) noexcept;

    // Whether the file is a container. Without headers: whether it starts
    // with a metadata block. With headers: every leading metadata block is
    // collected into it, and the answer is true when there was one or when a
    // valid table of contents follows them.
    static bool isContainerFile(const FileName& name, std::vector<tMetaHeader>* headers = nullptr);

    // Whether the container named by name holds the item that subpath names.
    static bool isContainerFileContent(const FileName& name, const std::string& subpath);
};

} // namespace QV::GP
