#include <QV/GP/FileContainer.h>

#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileStorage.h>
#include <QV/GP/StringUtil.h>

#include "Common/ContainerBytes.h"

#include <cstring>

namespace QV::GP {

namespace DETAIL {

std::string readUTF16Field(const std::uint8_t* field, std::size_t fieldBytes)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < fieldBytes; i += 2)
    {
        const auto unit = static_cast<char16_t>(field[i] | (field[i + 1] << 8));
        if (unit == 0)
            break;
        units += unit;
    }
    return StringUtil::fromUTF_filter(units);
}

} // namespace DETAIL

namespace {

constexpr std::size_t kDescriptionOffset = 66;
constexpr std::size_t kDescriptionFieldBytes = 66;
constexpr std::size_t kKindOffset = 132;
constexpr std::size_t kValueOffset = 136;
constexpr std::size_t kPartCountOffset = 144;
constexpr std::size_t kExtraLengthOffset = 148;

} // namespace

bool FileContainer::tMetaHeader::hasMagic() const noexcept
{
    return std::memcmp(bytes.data(), kMetaMagic, kMagicSize) == 0;
}

std::uint32_t FileContainer::tMetaHeader::kind() const noexcept
{
    return DETAIL::readLE32(bytes.data() + kKindOffset);
}

std::uint32_t FileContainer::tMetaHeader::descriptorValue() const noexcept
{
    return DETAIL::readLE32(bytes.data() + kValueOffset);
}

std::uint32_t FileContainer::tMetaHeader::partCount() const noexcept
{
    return DETAIL::readLE32(bytes.data() + kPartCountOffset);
}

std::uint32_t FileContainer::tMetaHeader::extraLength() const noexcept
{
    return DETAIL::readLE32(bytes.data() + kExtraLengthOffset);
}

std::string FileContainer::tMetaHeader::description() const
{
    return DETAIL::readUTF16Field(bytes.data() + kDescriptionOffset, kDescriptionFieldBytes);
}

void FileContainer::tMetaHeader::setDescription(const std::string& text)
{
    std::u16string units = details::utf_to_utf<char16_t, char, true>::apply(text);
    if (units.size() > kMaxDescriptionUnits)
    {
        units.resize(kMaxDescriptionUnits);
        // A pair cut in half would leave a lone high surrogate behind.
        if (units.back() >= 0xD800 && units.back() <= 0xDBFF)
            units.pop_back();
    }
    std::memset(bytes.data() + kDescriptionOffset, 0, kDescriptionFieldBytes);
    for (std::size_t i = 0; i < units.size(); ++i)
    {
        bytes[kDescriptionOffset + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        bytes[kDescriptionOffset + 2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
}

FileContainer::tMetaHeader FileContainer::tMetaHeader::makeDescriptor(std::uint32_t value, std::uint32_t partCount)
{
    tMetaHeader block;
    std::memcpy(block.bytes.data(), kMetaMagic, kMagicSize);
    DETAIL::writeLE32(block.bytes.data() + kKindOffset, eMetaDescriptor);
    DETAIL::writeLE32(block.bytes.data() + kValueOffset, value);
    DETAIL::writeLE32(block.bytes.data() + kPartCountOffset, partCount);
    return block;
}

bool FileContainer::isTocHeader(const std::uint8_t* header, std::size_t size) noexcept
{
    if (size < 48 || DETAIL::readLE32(header + 4) != 0)
        return false;
    for (std::size_t i = 8; i < 16; ++i)
        if (header[i] != 0xF0)
            return false;
    return std::memcmp(header + 32, kTocMagic, kMagicSize) == 0;
}

bool FileContainer::isContainerFile(const FileName& name, std::vector<tMetaHeader>* headers)
{
    FileStorage file;
    if (!file.open(name, IStorage::eAccessRead))
        return false;
    tMetaHeader block;
    std::size_t got = file.read(block.bytes.data(), kMetaBlockSize);
    if (headers == nullptr)
        return got == kMetaBlockSize && block.hasMagic();

    headers->clear();
    long long blockStart = 0;
    while (got == kMetaBlockSize && block.hasMagic())
    {
        headers->push_back(block);
        // The extra bytes of a block are skipped; a length that runs past
        // the end shows in the next read, which then comes up short.
        if (!file.seek64(static_cast<long long>(block.extraLength()), IStorage::eSeekFromCurrent))
            return true;
        blockStart = file.getPos64();
        if (blockStart < 0)
            return true;
        got = file.read(block.bytes.data(), kMetaBlockSize);
    }
    if (!headers->empty())
        return true;

    std::uint8_t header[kTocEntrySizeV1] = {};
    if (!file.seek64(blockStart, IStorage::eSeekFromStart) || file.read(header, kTocEntrySize) != kTocEntrySize)
        return false;
    if (DETAIL::readLE32(header) == 1
        && file.read(header + kTocEntrySize, kTocEntrySizeV1 - kTocEntrySize) != kTocEntrySizeV1 - kTocEntrySize)
        return false;
    return isTocHeader(header, kTocEntrySizeV1);
}

bool FileContainer::isContainerFileContent(const FileName& name, const std::string& subpath)
{
    if (subpath.empty())
        return false;
    FileName item(name.getFull() + subpath);
    FileContainerStorage container;
    return container.open(item, IStorage::eAccessRead);
}

} // namespace QV::GP
