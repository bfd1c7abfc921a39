#include <QV/GP/FileContainerParser.h>

#include <QV/GP/FileContainerStorage.h>

#include "Common/ContainerBytes.h"

#include <climits>

namespace QV::GP {

FileContainerParser::FileContainerParser(FileContainerStorage* container) : m_container(container) {}

FileContainerParser::FileContainerParser(FileContainerStorage* container, FileContainerParser* parent,
                                         const tContentParseInfo& item)
    : m_itemName(item.name),
      m_itemId(item.id),
      m_itemVersion(item.version),
      m_itemValues{item.values[0], item.values[1]},
      m_rangeStart(item.start),
      m_rangeLength(item.length),
      m_tocStart(item.tocStart),
      m_container(container),
      m_parent(parent)
{
}

FileContainerParser::~FileContainerParser() = default;

bool FileContainerParser::getAvailableContentTocs()
{
    // The container's chain runs over the whole storage; an item's chain
    // stays inside the item.
    if (m_parent == nullptr)
        return readTocChain(0, LLONG_MAX);
    return readTocChain(m_rangeStart, m_rangeLength);
}

bool FileContainerParser::getContentInfoOfItem(const std::string&, std::uint32_t, tContentParseInfo&)
{
    return false;
}

bool FileContainerParser::getContentInfoOfItem(std::uint32_t, std::uint32_t, tContentParseInfo&)
{
    return false;
}

bool FileContainerParser::getContentRangeOfItem(const std::string& name, std::uint32_t version,
                                                FileContentRange& range)
{
    tContentParseInfo info;
    return getContentInfoOfItem(name, version, info) && getContentRangeOfContentInfo(info, range) && range.length != 0;
}

bool FileContainerParser::getContentRangeOfItem(std::uint32_t id, std::uint32_t version, FileContentRange& range)
{
    tContentParseInfo info;
    return getContentInfoOfItem(id, version, info) && getContentRangeOfContentInfo(info, range) && range.length != 0;
}

bool FileContainerParser::getContentRangeOfContentInfo(const tContentParseInfo&, FileContentRange&)
{
    return false;
}

bool FileContainerParser::getContentParentSubpath(std::string& subpath) const
{
    return m_parent != nullptr && m_parent->getContentFullSubpath(subpath);
}

bool FileContainerParser::getContentFullSubpath(std::string& subpath) const
{
    std::string text = "<" + m_itemName;
    for (const FileContainerParser* ancestor = m_parent; ancestor != nullptr; ancestor = ancestor->m_parent)
        text.insert(0, "<" + ancestor->m_itemName);
    subpath += text;
    return text.size() > 1;
}

void FileContainerParser::setChild(std::unique_ptr<FileContainerParser> child)
{
    m_child = std::move(child);
}

bool FileContainerParser::readTocChain(long long start, long long length)
{
    FileContainerStorage& storage = *m_container;
    m_tocs.clear();
    if (!storage.isOpen() || start < 0 || length < 0)
        return false;
    const long long saved = storage.getPos64();
    // Nothing in the chain may lie beyond the storage or the range.
    long long end = length > LLONG_MAX - start ? LLONG_MAX : start + length;
    const long long size = storage.getCurrentStorageSize();
    if (size < end)
        end = size;
    const auto fail = [&] {
        storage.setStateAfterRestore(saved, IStorage::eStateError);
        return false;
    };

    if (!storage.seek64(start, IStorage::eSeekFromStart))
        return fail();
    FileContainer::tMetaHeader block;
    std::size_t got = storage.read(block.bytes.data(), FileContainer::kMetaBlockSize);
    if (got == 0)
        return fail();
    long long tocStart = start;
    while (got == FileContainer::kMetaBlockSize && block.hasMagic())
    {
        if (!storage.seek64(static_cast<long long>(block.extraLength()), IStorage::eSeekFromCurrent))
            return fail();
        tocStart = storage.getPos64();
        if (tocStart < 0 || tocStart > end)
            return fail();
        // Metadata that runs to the end leaves no tables: an empty chain.
        if (tocStart == end)
        {
            storage.setStateAfterRestore(saved, IStorage::eStateOpen);
            return true;
        }
        got = storage.read(block.bytes.data(), FileContainer::kMetaBlockSize);
    }

    // Each table's version gives the size of its own header and entries, so
    // a chain may mix both sizes: the first 160 bytes are read, and the rest
    // of a larger header when the version asks for it.
    std::uint8_t header[FileContainer::kTocEntrySizeV1];
    const auto readHeader = [&](std::size_t& headerSize) {
        headerSize = FileContainer::kTocEntrySize;
        std::size_t got = storage.read(header, FileContainer::kTocEntrySize);
        if (got == FileContainer::kTocEntrySize && DETAIL::readLE32(header) == 1)
        {
            headerSize = FileContainer::kTocEntrySizeV1;
            got += storage.read(header + got, headerSize - got);
        }
        return got == headerSize;
    };
    if (!storage.seek64(tocStart, IStorage::eSeekFromStart))
        return fail();
    std::size_t headerSize = 0;
    bool whole = readHeader(headerSize);

    while (whole)
    {
        if (!FileContainer::isTocHeader(header, headerSize))
            return fail();
        const auto entryBytes = static_cast<long long>(headerSize);
        tTocTableInfo toc;
        toc.start = tocStart;
        toc.version = DETAIL::readLE32(header);
        toc.entryBytes = headerSize;
        const std::uint64_t countWord = DETAIL::readLE64(header + 16);
        toc.count = static_cast<std::uint32_t>(countWord);
        toc.hasMapping = (countWord & FileContainer::kMappingTableBit) != 0;
        toc.dataLength = DETAIL::readLE64(header + 24);
        m_lastTocVersion = toc.version;

        // Counts and lengths are judged against what the storage holds before
        // anything is sized by them. The data area must also end after the
        // header, so the walk always moves forward and cannot loop.
        const long long room = end - tocStart;
        const long long tableBytes = entryBytes + toc.mappingSize() + (static_cast<long long>(toc.count) + 1) * entryBytes;
        if (tableBytes > room || toc.dataLength > static_cast<std::uint64_t>(room - tableBytes))
            return fail();

        if (toc.hasMapping)
        {
            toc.mapping.resize(toc.count);
            std::vector<std::uint8_t> table(static_cast<std::size_t>(toc.mappingSize()));
            if (!table.empty() && storage.read(table.data(), table.size()) != table.size())
                return fail();
            for (std::size_t i = 0; i < toc.mapping.size(); ++i)
                toc.mapping[i] = {DETAIL::readLE32(&table[8 * i]), DETAIL::readLE32(&table[8 * i + 4])};
        }
        const long long next = tocStart + tableBytes + static_cast<long long>(toc.dataLength);
        m_tocs.push_back(std::move(toc));

        // A chain that ends where the storage or the range ends is complete.
        if (next >= end)
            break;
        if (!storage.seek64(next, IStorage::eSeekFromStart))
            return fail();
        tocStart = next;
        whole = readHeader(headerSize);
    }
    // A header that comes up short ends the chain: it is no damage but the
    // end of the tables.
    storage.setStateAfterRestore(saved, IStorage::eStateOpen);
    return true;
}

} // namespace QV::GP
