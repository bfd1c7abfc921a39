#include <QV/GP/FileContainerStorage.h>

#include <QV/GP/FileManager.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/StringUtil.h>

#include "Common/ContainerBytes.h"

#include <algorithm>
#include <cstring>

namespace QV::GP {

namespace {

constexpr unsigned long long kChunk = 0xFFFFFFFFull;
// Entries read in one go while a table is searched.
constexpr std::uint32_t kEntriesPerRead = 64;

// Where an entry's item lies: inside the data area, from its own offset to
// the next entry's offset, or to the area's end when the next offset is 0.
// False for an entry whose offsets point outside the area or backwards.
bool itemBounds(const FileContainerParser::tTocTableInfo& toc, std::uint64_t own, std::uint64_t next,
                long long& start, long long& length)
{
    if (own > toc.dataLength)
        return false;
    const std::uint64_t end = next == 0 ? toc.dataLength : next;
    if (end < own || end > toc.dataLength)
        return false;
    start = toc.dataStart() + static_cast<long long>(own);
    length = static_cast<long long>(end - own);
    return true;
}

// Compares an entry's name field with a wanted name given both as UTF-8 and
// as UTF-16. Most names match or differ in their units already; only a field
// with surrogates is converted, since a lone surrogate drops out of the
// UTF-8 form that names are compared in.
bool nameMatches(const std::uint8_t* field, std::size_t fieldBytes, const std::string& wanted,
                 const std::u16string& wantedUnits, bool wantedIsClean)
{
    bool surrogates = false;
    std::size_t units = 0;
    bool same = true;
    for (std::size_t i = 0; i + 1 < fieldBytes; i += 2, ++units)
    {
        const auto unit = static_cast<char16_t>(field[i] | (field[i + 1] << 8));
        if (unit == 0)
            break;
        surrogates = surrogates || (unit >= 0xD800 && unit <= 0xDFFF);
        same = same && units < wantedUnits.size() && wantedUnits[units] == unit;
    }
    same = same && units == wantedUnits.size();
    if (!surrogates && wantedIsClean)
        return same;
    return DETAIL::readUTF16Field(field, fieldBytes) == wanted;
}

} // namespace

FileContainerStorage::FileContainerStorage() : FileContainerParser(this) {}

FileContainerStorage::~FileContainerStorage()
{
    close();
}

void FileContainerStorage::setRootFilePath(const std::string& path)
{
    m_rootDirectory = path;
    m_baseName.clear();
    m_extension.clear();
    const std::size_t colon = path.rfind(':');
    if (colon == std::string::npos)
        return;
    m_rootDirectory = path.substr(0, colon + 1);
    m_baseName = path.substr(colon + 1);
    // The extension's '.' is looked for in the file's own name: a '.' in a
    // folder name above it is no extension.
    const std::size_t dot = m_baseName.rfind('.');
    if (dot != std::string::npos)
    {
        m_extension = m_baseName.substr(dot + 1);
        m_baseName.erase(dot);
    }
}

std::string FileContainerStorage::getPartName(int index) const
{
    if (!isOpen() || index < 0)
        return {};
    if (index == 0)
        return m_extension.empty() ? m_baseName : m_baseName + "." + m_extension;
    return m_baseName + ".part" + std::to_string(index);
}

std::string FileContainerStorage::getPartFilePath(int index) const
{
    const std::string name = getPartName(index);
    return name.empty() ? std::string() : m_rootDirectory + name;
}

long long FileContainerStorage::getPartSize(int index)
{
    if (!isOpen() || index < 0)
        return 0;
    // A part opened for reading keeps the size it had at its opening, so
    // that reads do not ask the file system at every call.
    const FileStorage* part = partAt(index);
    if (part != nullptr && !isWritable())
        return static_cast<long long>(part->getFileSize());
    return static_cast<long long>(FileManager::getFileSize(FileName(getPartFilePath(index))));
}

bool FileContainerStorage::takePartCount(std::uint32_t count)
{
    // Every part holds at least one byte, and part 0 at least the block that
    // says how many parts there are: a count beyond part 0's size in bytes
    // is a damaged block, not a reason to make millions of slots.
    const long long firstSize = static_cast<long long>(FileManager::getFileSize(FileName(getPartFilePath(0))));
    if (static_cast<long long>(count) > firstSize || static_cast<long long>(count) > m_maxPartCount)
        return false;
    if (count > m_parts.size())
        m_parts.resize(count);
    return true;
}

bool FileContainerStorage::open(const FileName& name, eAccessMode mode, bool, long long maxPartSize)
{
    close();
    if (mode != eAccessRead && mode != eAccessWrite && mode != eAccessReadWrite)
        return false;
    const bool writable = (mode & eAccessWrite) != 0;
    if (writable)
    {
        if (maxPartSize <= 0)
            return false;
        m_maxPartSize = maxPartSize;
    }

    std::vector<FileContainer::tMetaHeader> headers;
    const bool isContainer = FileContainer::isContainerFile(name, &headers);
    const bool exists = FileManager::existsFile(FileName(name.getFull()));
    if (!isContainer && !writable && !exists)
        return false;

    setRootFilePath(name.getFull());
    if (m_baseName.empty())
    {
        close();
        return false;
    }
    m_accessMode = static_cast<eAccessMode>(mode | eAccessRead);
    m_state = eStateOpen;
    m_fileType = name.getType() != nullptr ? name.getType()
                                           : FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown);

    if (isContainer)
    {
        m_metaHeaders = headers;
        for (const FileContainer::tMetaHeader& block : headers)
        {
            if (block.kind() != FileContainer::eMetaDescriptor)
                continue;
            if (!takePartCount(block.partCount()))
            {
                close();
                return false;
            }
            break;
        }
    }
    if (m_parts.empty())
        m_parts.resize(1);
    if (isContainer && !(writable && !exists) && !queryDataIntegrity())
    {
        close();
        return false;
    }
    if (!openPart(0))
    {
        close();
        return false;
    }
    if (!name.getSubpath().empty() && !openContentFromSubpath(name.getSubpath(), FileContainer::kAnyVersion))
    {
        close();
        return false;
    }
    m_measuredSize = getCurrentStorageSize();
    seek64(0, eSeekFromStart);
    return true;
}

void FileContainerStorage::close()
{
    deleteItemChain();
    m_currentSubpath.clear();
    m_tocs.clear();
    m_metaHeaders.clear();
    m_metaPositions.clear();
    m_metaEnd = 0;
    m_rootDirectory.clear();
    m_baseName.clear();
    m_extension.clear();
    m_fileType = nullptr;
    m_measuredSize = 0;
    m_description.clear();
    m_descriptorValue = 0;
    m_metaFlags = 0;
    m_flags = 0;
    MultiPartStorage::close();
}

void FileContainerStorage::flush()
{
    // Each write of a part storage reaches its file at once; what is left is
    // to note that the part sizes must be summed again.
    if (partAt(m_currentIndex) != nullptr)
        m_flags |= kFlagSizesChanged;
}

unsigned long long FileContainerStorage::read64(void* buffer, unsigned long long count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    unsigned long long total = 0;
    while (total < count)
    {
        const auto chunk = static_cast<std::size_t>(std::min(count - total, kChunk));
        const std::size_t got = read(out + total, chunk);
        total += got;
        if (got < chunk)
            break;
    }
    return total;
}

unsigned long long FileContainerStorage::write64(const void* buffer, unsigned long long count)
{
    const auto* in = static_cast<const unsigned char*>(buffer);
    unsigned long long total = 0;
    while (total < count)
    {
        const auto chunk = static_cast<std::size_t>(std::min(count - total, kChunk));
        const std::size_t written = write(in + total, chunk);
        total += written;
        if (written < chunk)
            break;
    }
    return total;
}

bool FileContainerStorage::openPart(int index)
{
    if (!isOpen() || index < 0)
        return false;
    if (partAt(index) != nullptr)
        return true;
    if (static_cast<std::size_t>(index) >= m_parts.size() && !isWritable())
        return false;

    FileName partName(getPartFilePath(index));
    partName.setType(index == 0 ? m_fileType : FileTypeManager::getStdType(FileTypeManager::eStdTypeUnknown));
    auto part = std::make_unique<FileStorage>();
    if (!part->open(partName, m_accessMode, m_partLocking))
        return false;
    if (!isWritable() && part->getFileSize() == 0)
        return false;
    if (static_cast<std::size_t>(index) >= m_parts.size())
        m_parts.resize(static_cast<std::size_t>(index) + 1);
    m_parts[static_cast<std::size_t>(index)] = std::move(part);
    m_currentIndex = index;
    m_currentOffset = getPartOffset(index);
    m_partPosition = 0;
    if (!isWritable())
        return true;
    // A new part changes the part count that the descriptor block records.
    return updateMetadata(FileContainer::kKeepDescriptorValue, std::string());
}

bool FileContainerStorage::getPartIndexForPosition(long long position, long long& index, long long& partStart)
{
    index = 0;
    if (!isOpen() || position < 0)
        return false;
    const bool writable = isWritable();
    const auto sizeOf = [&](long long part) { return writable ? m_maxPartSize : getPartSize(static_cast<int>(part)); };
    const long long first = sizeOf(0);
    if (first <= 0)
        return false;
    if (position < first)
    {
        partStart = 0;
        return true;
    }
    if (position == first && (writable || m_parts.size() >= 2))
    {
        partStart = position;
        index = 1;
        return true;
    }
    long long sum = first;
    for (std::size_t step = 0; step < m_parts.size(); ++step)
    {
        ++index;
        if (!writable && static_cast<std::size_t>(index) >= m_parts.size())
            return false;
        const long long size = sizeOf(index);
        if (size <= 0)
            return false;
        const long long previous = sum;
        sum = addClamped(sum, size);
        if (sum > position)
        {
            partStart = previous;
            return true;
        }
        if (sum == position && (writable || static_cast<std::size_t>(index) + 1 < m_parts.size()))
        {
            partStart = position;
            ++index;
            return true;
        }
    }
    return false;
}

void FileContainerStorage::setStateAfterRestore(long long position, std::uint32_t stateBefore)
{
    seek64(position < 0 ? 0 : position, eSeekFromStart);
    if (stateBefore == eStateClosed || stateBefore == eStateError)
        m_state = eStateError;
}

bool FileContainerStorage::getContentInfoOfItem(const std::string& name, std::uint32_t version,
                                                tContentParseInfo& info)
{
    return lookUp(&name, 0, version, info);
}

bool FileContainerStorage::getContentInfoOfItem(std::uint32_t id, std::uint32_t version, tContentParseInfo& info)
{
    return lookUp(nullptr, id, version, info);
}

bool FileContainerStorage::lookUp(const std::string* name, std::uint32_t id, std::uint32_t version,
                                  tContentParseInfo& info)
{
    // Only the container's own tables are searched, and only while no item
    // is open in it.
    if (!isOpen() || m_child != nullptr)
        return false;
    if (m_tocs.empty())
        getAvailableContentTocs();
    if (m_tocs.empty())
        return false;

    const long long saved = getPos64();
    const bool anyVersion = version == FileContainer::kAnyVersion;
    std::u16string wantedUnits;
    bool wantedIsClean = false;
    if (name != nullptr)
    {
        wantedUnits = details::utf_to_utf<char16_t, char, true>::apply(*name);
        wantedIsClean = StringUtil::fromUTF_filter(wantedUnits) == *name;
    }

    tContentParseInfo best;
    bool found = false;
    std::vector<std::uint8_t> entryBlock;
    for (const tTocTableInfo& toc : m_tocs)
    {
        if (toc.count == 0)
            continue;
        const std::size_t entrySize = toc.entrySize();
        if (name == nullptr && toc.hasMapping)
        {
            if (!lookUpInMapping(toc, id, version, best, found))
            {
                setStateAfterRestore(saved, eStateError);
                return false;
            }
            if (found && !anyVersion)
                break;
            continue;
        }
        // Entries are read a run at a time together with the entry after
        // the run, whose offset ends the run's last item.
        bool done = false;
        for (std::uint32_t first = 0; first < toc.count && !done; first += kEntriesPerRead)
        {
            const std::uint32_t inRun = std::min(kEntriesPerRead, toc.count - first);
            entryBlock.resize((inRun + 1) * entrySize);
            if (!seek64(toc.entryPosition(first), eSeekFromStart)
                || read(entryBlock.data(), entryBlock.size()) != entryBlock.size())
            {
                setStateAfterRestore(saved, eStateError);
                return false;
            }
            for (std::uint32_t i = 0; i < inRun; ++i)
            {
                const std::uint8_t* entry = entryBlock.data() + i * entrySize;
                const std::uint32_t entryVersion = DETAIL::readLE32(entry + 12);
                if (!anyVersion && entryVersion != version)
                    continue;
                if (name == nullptr ? DETAIL::readLE32(entry + 8) != id
                                    : !nameMatches(entry + 32, entrySize - 32, *name, wantedUnits, wantedIsClean))
                    continue;
                if (found && entryVersion <= best.version)
                    continue;
                long long start = 0;
                long long length = 0;
                if (!itemBounds(toc, DETAIL::readLE64(entry), DETAIL::readLE64(entry + entrySize), start, length))
                    continue;
                found = true;
                best.tocStart = toc.start;
                best.start = start;
                best.length = length;
                best.version = entryVersion;
                best.id = DETAIL::readLE32(entry + 8);
                best.values[0] = DETAIL::readLE64(entry + 16);
                best.values[1] = DETAIL::readLE64(entry + 24);
                best.name = DETAIL::readUTF16Field(entry + 32, entrySize - 32);
                if (!anyVersion)
                {
                    done = true;
                    break;
                }
            }
        }
        if (found && !anyVersion)
            break;
    }
    if (!found)
    {
        setStateAfterRestore(saved, getState());
        return false;
    }
    long long partStart = 0;
    if (!getPartIndexForPosition(best.start, best.partIndex, partStart))
    {
        setStateAfterRestore(saved, eStateError);
        return false;
    }
    setStateAfterRestore(saved, getState());
    info = best;
    return true;
}

bool FileContainerStorage::lookUpInMapping(const tTocTableInfo& toc, std::uint32_t id, std::uint32_t version,
                                           tContentParseInfo& best, bool& found)
{
    // An empty table has nothing to halve: count - 1 would wrap.
    if (toc.mapping.empty())
        return true;
    long long low = 0;
    long long high = static_cast<long long>(toc.mapping.size()) - 1;
    std::uint32_t entryIndex = 0;
    bool hit = false;
    while (low <= high)
    {
        const long long middle = low + (high - low) / 2;
        const std::uint32_t middleId = toc.mapping[static_cast<std::size_t>(middle)].second;
        if (middleId < id)
            low = middle + 1;
        else if (middleId > id)
        {
            if (high <= low)
                break;
            high = middle;
        }
        else
        {
            entryIndex = toc.mapping[static_cast<std::size_t>(middle)].first;
            hit = true;
            break;
        }
    }
    if (!hit || entryIndex >= toc.count)
        return true;

    const std::size_t entrySize = toc.entrySize();
    std::vector<std::uint8_t> entries(2 * entrySize);
    if (!seek64(toc.entryPosition(entryIndex), eSeekFromStart) || read(entries.data(), entries.size()) != entries.size())
        return false;
    const std::uint8_t* entry = entries.data();
    const std::uint32_t entryVersion = DETAIL::readLE32(entry + 12);
    // The table maps ids; an entry that holds another id is a damaged table.
    if (DETAIL::readLE32(entry + 8) != id)
        return true;
    if (version != FileContainer::kAnyVersion && entryVersion != version)
        return true;
    if (found && entryVersion <= best.version)
        return true;
    long long start = 0;
    long long length = 0;
    if (!itemBounds(toc, DETAIL::readLE64(entry), DETAIL::readLE64(entry + entrySize), start, length))
        return true;
    found = true;
    best.tocStart = toc.start;
    best.start = start;
    best.length = length;
    best.version = entryVersion;
    best.id = id;
    best.values[0] = DETAIL::readLE64(entry + 16);
    best.values[1] = DETAIL::readLE64(entry + 24);
    best.name = DETAIL::readUTF16Field(entry + 32, entrySize - 32);
    return true;
}

bool FileContainerStorage::getContentRangeOfContentInfo(const tContentParseInfo& info, FileContentRange& range)
{
    long long index = 0;
    long long partStart = 0;
    if (!getPartIndexForPosition(info.start, index, partStart))
        return false;
    range = FileContentRange();
    range.partIndex = index;
    range.offsetInPart = info.start - partStart;
    range.start = info.start;
    range.length = info.length;
    const long long leftInPart = (isWritable() ? m_maxPartSize : getPartSize(static_cast<int>(index))) - range.offsetInPart;
    if (info.length > leftInPart)
    {
        range.lengthInPart = leftInPart;
        range.secondPartIndex = index;
        range.secondOffsetInPart = range.offsetInPart;
    }
    else
    {
        range.lengthInPart = info.length;
    }
    return true;
}

void FileContainerStorage::deleteItemChain()
{
    m_child.reset();
}

const FileContainerParser* FileContainerStorage::getOpenedItem() const
{
    const FileContainerParser* item = m_child.get();
    while (item != nullptr && item->getChild() != nullptr)
        item = item->getChild();
    return item;
}

bool FileContainerStorage::openContentFromSubpath(const std::string& subpath, std::uint32_t version)
{
    deleteItemChain();
    m_currentSubpath.clear();
    const auto fail = [this] {
        deleteItemChain();
        m_currentSubpath.clear();
        return false;
    };

    FileContainerParser* parser = this;
    std::string rest = subpath;
    while (!rest.empty() && rest.front() == '<')
    {
        tContentParseInfo info;
        bool found = false;
        std::size_t consumed = 0;
        if (rest.size() >= 2 && rest[1] == '<')
        {
            // "<<" then the id in decimal digits, then ">".
            const std::size_t close = rest.find('>', 2);
            if (close == std::string::npos || close == 2)
                return fail();
            std::uint64_t id = 0;
            for (std::size_t i = 2; i < close; ++i)
            {
                if (rest[i] < '0' || rest[i] > '9')
                    return fail();
                id = id * 10 + static_cast<std::uint64_t>(rest[i] - '0');
                if (id > 0xFFFFFFFFull)
                    return fail();
            }
            found = parser->getContentInfoOfItem(static_cast<std::uint32_t>(id), version, info);
            consumed = close + 1;
        }
        else
        {
            const std::size_t next = rest.find('<', 1);
            consumed = next == std::string::npos ? rest.size() : next;
            found = parser->getContentInfoOfItem(rest.substr(1, consumed - 1), version, info);
        }
        FileContentRange range;
        if (!found || !getContentRangeOfContentInfo(info, range))
            return fail();
        auto child = std::make_unique<FileContainerParser>(this, parser, info);
        FileContainerParser* childParser = child.get();
        parser->setChild(std::move(child));
        parser = childParser;
        rest.erase(0, consumed);
    }
    // Text left over that is no element (such as "junk" in "<<7>junk") makes
    // the subpath malformed rather than quietly ignored.
    if (!rest.empty() || m_child == nullptr)
        return fail();
    if (!m_child->getContentFullSubpath(m_currentSubpath))
        return fail();
    return true;
}

bool FileContainerStorage::queryDataIntegrity()
{
    // Every part that the descriptor counts must be there: without one, the
    // bytes after it would silently be missing from the address space.
    for (std::size_t i = 1; i < m_parts.size(); ++i)
        if (getPartSize(static_cast<int>(i)) <= 0)
            return false;
    // A chain that cannot be read to its end (a table or data area beyond
    // the parts that exist, a broken header) is no intact container.
    if (m_tocs.empty() && !getAvailableContentTocs())
        return false;
    if (m_tocs.empty())
        return true;
    const long long saved = getPos64();
    bool intact = true;
    for (const tTocTableInfo& toc : m_tocs)
    {
        const long long dataEnd = toc.dataStart() + static_cast<long long>(toc.dataLength);
        for (const long long position : {toc.start, toc.dataStart(), dataEnd})
            intact = intact && seek64(position, eSeekFromStart);
    }
    setStateAfterRestore(saved, getState());
    return intact;
}

void FileContainerStorage::readMetadata()
{
    m_metaHeaders.clear();
    m_metaPositions.clear();
    m_metaFlags &= static_cast<std::uint8_t>(~(kDescriptionSeen | kDescriptorSeen));
    m_metaEnd = 0;
    const long long saved = getPos64();
    if (!seek64(0, eSeekFromStart))
    {
        setStateAfterRestore(saved, getState());
        return;
    }
    long long position = 0;
    FileContainer::tMetaHeader block;
    while (read(block.bytes.data(), FileContainer::kMetaBlockSize) == FileContainer::kMetaBlockSize && block.hasMagic())
    {
        switch (block.kind())
        {
        case FileContainer::eMetaDescriptor:
            m_metaFlags |= kDescriptorSeen;
            m_metaHeaders.push_back(block);
            m_metaPositions.push_back(position);
            m_descriptorValue = block.descriptorValue();
            takePartCount(block.partCount());
            break;
        case FileContainer::eMetaDescription:
            m_metaFlags |= kDescriptionSeen;
            m_metaHeaders.push_back(block);
            m_metaPositions.push_back(position);
            m_description = block.description();
            break;
        default:
            m_metaFlags |= kOtherMetadataSeen;
            break;
        }
        // Every kind of block may be followed by extra bytes; skipping them
        // the same way for all keeps this walk in step with the table reader.
        position += static_cast<long long>(FileContainer::kMetaBlockSize) + block.extraLength();
        m_metaEnd = position;
        if (!seek64(position, eSeekFromStart))
            break;
    }
    setStateAfterRestore(saved, getState() == eStateError ? eStateOpen : getState());
}

bool FileContainerStorage::updateMetadata(std::uint32_t value, const std::string& text)
{
    readMetadata();
    if (!isWritable())
        return true;
    const long long saved = getPos64();
    const auto finish = [&](bool result) {
        setStateAfterRestore(saved, getState() == eStateError ? eStateOpen : getState());
        return result;
    };

    int descriptor = -1;
    for (std::size_t i = 0; i < m_metaHeaders.size(); ++i)
    {
        FileContainer::tMetaHeader& block = m_metaHeaders[i];
        if (block.kind() == FileContainer::eMetaDescription)
        {
            m_metaFlags |= kDescriptionSeen;
            if (text.empty())
                continue;
            // Each description goes back where it was read from.
            block.setDescription(text);
            if (!seek64(m_metaPositions[i], eSeekFromStart)
                || write(block.bytes.data(), block.bytes.size()) != block.bytes.size())
                return finish(false);
            m_description = text;
        }
        else if (block.kind() == FileContainer::eMetaDescriptor)
        {
            descriptor = static_cast<int>(i);
        }
    }

    // A descriptor is rewritten in place. A new one goes after the last
    // metadata block, which is only free space when nothing follows there:
    // writing it over the first table of contents would destroy the container.
    const long long target = descriptor >= 0 ? m_metaPositions[static_cast<std::size_t>(descriptor)] : m_metaEnd;
    if (descriptor < 0 && m_metaEnd < getCurrentStorageSize())
        return finish(false);
    const std::uint32_t newValue = value == FileContainer::kKeepDescriptorValue ? m_descriptorValue : value;
    const auto partCount = static_cast<std::uint32_t>(std::max<std::size_t>(m_parts.size(), 1));
    FileContainer::tMetaHeader block = FileContainer::tMetaHeader::makeDescriptor(newValue, partCount);
    if (descriptor >= 0)
    {
        // The old block's extra bytes stay, and so does the length that
        // tells readers to skip them.
        block = m_metaHeaders[static_cast<std::size_t>(descriptor)];
        DETAIL::writeLE32(block.bytes.data() + 136, newValue);
        DETAIL::writeLE32(block.bytes.data() + 144, partCount);
    }
    if (!seek64(target, eSeekFromStart) || write(block.bytes.data(), block.bytes.size()) != block.bytes.size())
        return finish(false);
    if (descriptor >= 0)
    {
        m_metaHeaders[static_cast<std::size_t>(descriptor)] = block;
    }
    else
    {
        m_metaHeaders.push_back(block);
        m_metaPositions.push_back(target);
        m_metaEnd = target + static_cast<long long>(FileContainer::kMetaBlockSize);
        m_metaFlags |= kDescriptorSeen;
    }
    m_descriptorValue = newValue;
    flush();
    return finish(true);
}

} // namespace QV::GP
