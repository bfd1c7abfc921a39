#pragma once

#include <QV/GP/FileName.h>
#include <QV/GP/IStorage.h>

#include <cstdint>
#include <cstdio>

namespace QV::GP {

// A storage over one local file, read and written through stdio.
//
// Writes go to the file at once (each write is flushed), so that a full disk
// or a failing device shows in the state of the write that met it rather
// than at some later call that cannot tell whose data was lost.
//
// Thread affinity: one thread at a time.
class FileStorage : public IStorage
{
public:
    FileStorage() = default;
    ~FileStorage() override;

    // Mode 1 reads an existing file. Mode 2 needs a file name (state 1) that
    // carries a type and replaces the file's contents; mode 3 reads and
    // writes, creating the file when it is missing. With a locking mode the
    // file is locked exclusively (flock) before anything in it changes.
    // False, with state 3, when the file cannot be opened or locked; false
    // without any change for a name or mode that cannot be written.
    bool open(const FileName& name, eAccessMode mode, eLockingMode locking = eLockNone);

    // False when data still buffered could not be written or the file could
    // not be closed cleanly; the storage is closed either way.
    bool close();

    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;
    long long getPos64() const override;
    bool seek64(long long offset, eSeekMode mode) override;

    // The size of the file when it was opened.
    std::uint64_t getFileSize() const noexcept { return m_fileSize; }
    const FileName& getFileName() const noexcept { return m_fileName; }
    // The open file's descriptor, for reading it other than through the
    // storage (mapping it); -1 when closed.
    int getDescriptor() const noexcept;

private:
    FileName m_fileName;
    std::FILE* m_file = nullptr;
    std::uint64_t m_fileSize = 0;
    bool m_locked = false;
};

} // namespace QV::GP
