#pragma once

#include <QV/GP/FileContainerParser.h>
#include <QV/GP/FileStorage.h>
#include <QV/GP/MultiPartStorage.h>

#include <climits>
#include <cstdint>
#include <string>

namespace QV::GP {

class FileName;
class FileTypeDescr;

// A container file, or a plain file, read as one storage over its part
// files, and the parser of the container's tables of contents.
//
// Part 0 is the file itself; part i from 1 on is the file's name without its
// extension followed by ".part" and i, in the same folder (skin.bin,
// skin.part1, skin.part2). A multi-part descriptor block at the start says
// how many parts there are.
//
// Opening a name with a subpath ("pack.bin<icon" or "pack.bin<<7>") also
// opens that item: getOpenedItem() then tells where it lies.
//
// Thread affinity: one thread at a time.
class FileContainerStorage : public MultiPartStorage<FileStorage>, public FileContainerParser
{
    friend class FileContainerParser;

public:
    // Metadata flags.
    static constexpr std::uint8_t kDescriptionSeen = 1;
    static constexpr std::uint8_t kDescriptorSeen = 2;
    static constexpr std::uint8_t kOtherMetadataSeen = 4;

    FileContainerStorage();
    ~FileContainerStorage() override;

    bool isOpen() const override { return !m_baseName.empty(); }

    // Opens the container (or plain file) that name names, checks that its
    // tables of contents lie inside it, and opens the item of name's subpath
    // when it has one. False, with the storage closed, when any of that
    // fails. A writable mode limits each part to maxPartSize bytes. The flag
    // is not used.
    virtual bool open(const FileName& name, eAccessMode mode, bool unused = false, long long maxPartSize = LLONG_MAX);
    void close() override;
    void flush() override;

    // Transfers of any size, in chunks of at most 0xFFFFFFFF bytes.
    virtual unsigned long long read64(void* buffer, unsigned long long count);
    virtual unsigned long long write64(const void* buffer, unsigned long long count);

    // The file name of part index and its full colon-form path; empty when
    // the storage is closed.
    virtual std::string getPartName(int index) const;
    std::string getPartFilePath(int index) const;

    bool openPart(int index) override;
    bool getPartIndexForPosition(long long position, long long& index, long long& partStart) override;
    long long getPartSize(int index) override;

    bool getContentInfoOfItem(const std::string& name, std::uint32_t version, tContentParseInfo& info) override;
    bool getContentInfoOfItem(std::uint32_t id, std::uint32_t version, tContentParseInfo& info) override;
    bool getContentRangeOfContentInfo(const tContentParseInfo& info, FileContentRange& range) override;

    // Opens the item that a subpath names, replacing any opened before.
    bool openContentFromSubpath(const std::string& subpath, std::uint32_t version);
    // Whether every table of contents and its data area lie inside the storage.
    bool queryDataIntegrity();
    // Rewrites the description (when text is not empty) and the multi-part
    // descriptor with the current part count; a no-op that succeeds for a
    // container opened for reading.
    bool updateMetadata(std::uint32_t value, const std::string& text);

    // The innermost opened item, or null.
    const FileContainerParser* getOpenedItem() const;

    void setRootFilePath(const std::string& path);
    void setPartLockingMode(eLockingMode mode) noexcept { m_partLocking = mode; }

    const std::string& getRootDirectory() const noexcept { return m_rootDirectory; }
    const std::string& getBaseName() const noexcept { return m_baseName; }
    const std::string& getExtension() const noexcept { return m_extension; }
    const std::string& getCurrentSubpath() const noexcept { return m_currentSubpath; }
    std::uint32_t getDescriptorValue() const noexcept { return m_descriptorValue; }
    const std::string& getDescription() const noexcept { return m_description; }
    long long getMeasuredStorageSize() const noexcept { return m_measuredSize; }
    std::uint8_t getMetadataFlags() const noexcept { return m_metaFlags; }
    const std::vector<FileContainer::tMetaHeader>& getMetaHeaders() const noexcept { return m_metaHeaders; }

private:
    // Reads the leading metadata blocks into the cache and notes where each lies.
    void readMetadata();
    bool lookUp(const std::string* name, std::uint32_t id, std::uint32_t version, tContentParseInfo& info);
    // Takes the mapped entry into best when it beats what found says was
    // taken so far; false only for a read that failed.
    bool lookUpInMapping(const tTocTableInfo& toc, std::uint32_t id, std::uint32_t version,
                         tContentParseInfo& best, bool& found);
    // Grows the part slots to a descriptor's count; false when the count
    // cannot be right for the file.
    bool takePartCount(std::uint32_t count);
    void deleteItemChain();
    void setStateAfterRestore(long long position, std::uint32_t stateBefore);
    void markFailed() noexcept { m_state = eStateError; }

    std::string m_rootDirectory;
    std::string m_baseName;
    std::string m_extension;
    std::string m_currentSubpath;
    const FileTypeDescr* m_fileType = nullptr;
    std::uint32_t m_descriptorValue = 0;
    std::string m_description;
    long long m_measuredSize = 0;
    std::uint8_t m_metaFlags = 0;
    eLockingMode m_partLocking = eLockNone;
    // Where each cached metadata block lies, so that the writer puts a block
    // back where it came from.
    std::vector<long long> m_metaPositions;
    long long m_metaEnd = 0;
};

} // namespace QV::GP
