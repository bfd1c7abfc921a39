#pragma once

#include <QV/GP/FileContainer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace QV::GP {

class FileContainerStorage;

// Where an item lies among the part files of its container.
struct FileContentRange
{
    // The part that holds the item's first byte, the bytes of the item in
    // that part (the item's length, or what is left of the part when the
    // item runs on into the next), and where in the part it starts.
    long long partIndex = 0;
    long long lengthInPart = 0;
    long long offsetInPart = 0;
    // Filled only for an item that runs on beyond its first part: the same
    // start, looked up once more.
    long long secondPartIndex = 0;
    long long secondOffsetInPart = 0;
    // The item in the container's whole address space.
    long long start = 0;
    long long length = 0;
};

// Reads the tables of contents of a container and looks items up in them.
// The container storage is the parser of the container itself; opening an
// item makes a child parser that stands for it, so that the chain of parsers
// names what is open ("<item" under the container). A child answers every
// lookup with false: items inside items cannot be reached.
//
// Thread affinity: one thread at a time, the same as its container.
class FileContainerParser
{
    // The container builds the chain of item parsers.
    friend class FileContainerStorage;

public:
    struct tTocTableInfo
    {
        long long start = 0;          // position of the header
        std::uint32_t count = 0;      // entries, without the one that ends the table
        std::uint64_t dataLength = 0; // bytes of the data area
        bool hasMapping = false;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> mapping; // (entry index, item id), by id
        std::uint32_t version = 0;
        // The header and entry size of the chain, which its first header fixes.
        std::size_t entryBytes = FileContainer::kTocEntrySize;

        std::size_t entrySize() const noexcept { return entryBytes; }
        long long mappingSize() const noexcept { return hasMapping ? static_cast<long long>(count) * 8 : 0; }
        // Where entry index (0 to count) lies.
        long long entryPosition(std::uint32_t index) const noexcept
        {
            return start + static_cast<long long>(entrySize()) + mappingSize()
                   + static_cast<long long>(index) * static_cast<long long>(entrySize());
        }
        long long dataStart() const noexcept { return entryPosition(count) + static_cast<long long>(entrySize()); }
    };

    struct tContentParseInfo
    {
        std::string name;
        std::uint32_t id = 0;
        std::uint32_t version = 0;
        std::uint64_t values[2] = {0, 0};
        long long partIndex = 0;
        long long start = 0;
        long long length = 0;
        long long tocStart = 0;
    };

    // The parser of a container, over the container itself.
    explicit FileContainerParser(FileContainerStorage* container);
    // The parser of one opened item, a child of parent.
    FileContainerParser(FileContainerStorage* container, FileContainerParser* parent, const tContentParseInfo& item);
    FileContainerParser(const FileContainerParser&) = delete;
    FileContainerParser& operator=(const FileContainerParser&) = delete;
    virtual ~FileContainerParser();

    // Reads the chain of tables of contents in this parser's range into the
    // list; false, with state 3 on the container, when the chain is damaged
    // (tables read before the damage stay in the list).
    virtual bool getAvailableContentTocs();
    virtual bool getContentInfoOfItem(const std::string& name, std::uint32_t version, tContentParseInfo& info);
    virtual bool getContentInfoOfItem(std::uint32_t id, std::uint32_t version, tContentParseInfo& info);
    // The lookup and the item's place among the parts; false also for an
    // item of length 0.
    virtual bool getContentRangeOfItem(const std::string& name, std::uint32_t version, FileContentRange& range);
    virtual bool getContentRangeOfItem(std::uint32_t id, std::uint32_t version, FileContentRange& range);
    virtual bool getContentParentSubpath(std::string& subpath) const;
    // Appends "<" and this parser's name, with each ancestor's name and "<"
    // put in front; true when that added more than one character.
    virtual bool getContentFullSubpath(std::string& subpath) const;
    virtual bool getContentRangeOfContentInfo(const tContentParseInfo& info, FileContentRange& range);

    const std::string& getItemName() const noexcept { return m_itemName; }
    std::uint32_t getItemId() const noexcept { return m_itemId; }
    std::uint32_t getItemVersion() const noexcept { return m_itemVersion; }
    long long getRangeStart() const noexcept { return m_rangeStart; }
    long long getRangeLength() const noexcept { return m_rangeLength; }
    const std::vector<tTocTableInfo>& getTocs() const noexcept { return m_tocs; }
    std::uint32_t getLastTocVersion() const noexcept { return m_lastTocVersion; }
    FileContainerParser* getParent() const noexcept { return m_parent; }
    FileContainerParser* getChild() const noexcept { return m_child.get(); }

protected:
    // Reads the chain of tables of contents that starts in [start, start +
    // length) of the container.
    bool readTocChain(long long start, long long length);
    void setChild(std::unique_ptr<FileContainerParser> child);

    std::vector<tTocTableInfo> m_tocs;
    std::vector<FileContainer::tMetaHeader> m_metaHeaders;
    std::string m_itemName = FileContainer::INVALID_ENTRY;
    std::uint32_t m_itemId = 0;
    std::uint32_t m_itemVersion = 0;
    std::uint64_t m_itemValues[2] = {0, 0};
    long long m_rangeStart = 0;
    long long m_rangeLength = 0;
    long long m_tocStart = 0;
    std::string m_subpath;
    FileContainerStorage* m_container = nullptr;
    FileContainerParser* m_parent = nullptr;
    std::unique_ptr<FileContainerParser> m_child;
    std::uint32_t m_lastTocVersion = 1;
};

} // namespace QV::GP
