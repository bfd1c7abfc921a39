#include <QV/GP/FileStorage.h>

#include <QV/GP/FileManager.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace QV::GP {

namespace {

bool lockDescriptor(int fd, IStorage::eLockingMode locking)
{
    if (locking == IStorage::eLockNone)
        return true;
    const int operation = locking == IStorage::eLockExclusiveNoWait ? (LOCK_EX | LOCK_NB) : LOCK_EX;
    int result;
    do
        result = ::flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

FileStorage::~FileStorage()
{
    close();
}

bool FileStorage::open(const FileName& name, eAccessMode mode, eLockingMode locking)
{
    if (isOpen())
        close();

    int flags = O_CLOEXEC;
    const char* stdioMode = nullptr;
    switch (mode)
    {
    case eAccessRead:
        flags |= O_RDONLY;
        stdioMode = "rb";
        break;
    case eAccessWrite:
        if (name.getState() != FileName::eStateFile || name.getType() == nullptr)
            return false;
        // The contents are dropped only once the lock is held (below), so a
        // writer never empties a file that someone else still has locked.
        flags |= O_WRONLY;
        stdioMode = "wb";
        break;
    case eAccessReadWrite:
        if (name.getState() != FileName::eStateFile)
            return false;
        flags |= O_RDWR | O_CREAT;
        stdioMode = "r+b";
        break;
    default:
        return false;
    }
    if (locking != eLockNone && locking != eLockExclusiveNoWait && locking != eLockExclusiveWait)
        return false;

    const std::string path = name.getSystemPath(false, true);
    if (path.empty() || (mode == eAccessWrite && !FileManager::createFile(name)))
    {
        m_state = eStateError;
        return false;
    }

    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
    {
        m_state = eStateError;
        return false;
    }
    struct stat info{};
    if (!lockDescriptor(fd, locking) || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)
        || (mode == eAccessWrite && ::ftruncate(fd, 0) != 0))
    {
        ::close(fd);
        m_state = eStateError;
        return false;
    }
    std::FILE* file = ::fdopen(fd, stdioMode);
    if (file == nullptr)
    {
        ::close(fd);
        m_state = eStateError;
        return false;
    }

    m_file = file;
    m_locked = locking != eLockNone;
    m_accessMode = mode;
    m_state = eStateOpen;
    m_fileName = name;
    // The size of the file just opened, from its descriptor: a name with a
    // container subpath would make the file manager measure the item instead.
    // A file opened for writing alone was emptied above.
    m_fileSize = mode == eAccessWrite || info.st_size < 0 ? 0 : static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool FileStorage::close()
{
    if (m_file == nullptr)
        return true;
    bool clean = true;
    if (m_locked)
    {
        // Everything written must be in the file before another process may
        // take the lock and read it.
        clean = std::fflush(m_file) == 0;
        ::flock(::fileno(m_file), LOCK_UN | LOCK_NB);
    }
    clean = std::fclose(m_file) == 0 && clean;
    m_file = nullptr;
    m_accessMode = eAccessNone;
    m_state = eStateClosed;
    m_fileSize = 0;
    m_fileName.clear();
    m_locked = false;
    return clean;
}

std::size_t FileStorage::read(void* buffer, std::size_t count)
{
    if (m_file == nullptr || !acceptsTransfer())
        return 0;
    const std::size_t got = std::fread(buffer, 1, count, m_file);
    if (got < count)
    {
        m_state = eStateError;
        return got;
    }
    // fread only notices the end when it tries to read past it, so look one
    // byte ahead to tell whether this read took the last bytes.
    const int next = std::fgetc(m_file);
    if (next == EOF)
        m_state = eStateEndOfFile;
    else
        std::ungetc(next, m_file);
    return got;
}

std::size_t FileStorage::write(const void* buffer, std::size_t count)
{
    if (m_file == nullptr || !acceptsTransfer())
        return 0;
    // A write that does not complete answers 0, as callers test for, and the
    // state says that the file now holds only part of it.
    if (std::fwrite(buffer, 1, count, m_file) != count || std::fflush(m_file) != 0)
    {
        m_state = eStateError;
        return 0;
    }
    m_state = eStateOpen;
    return count;
}

int FileStorage::getDescriptor() const noexcept
{
    return m_file != nullptr ? ::fileno(m_file) : -1;
}

long long FileStorage::getPos64() const
{
    if (m_file == nullptr)
        return -1;
    const long long position = ::ftello(m_file);
    // Asking for the position is const to callers, but a stream that cannot
    // say where it is has failed and must refuse further transfers.
    if (position < 0)
        const_cast<FileStorage*>(this)->m_state = eStateError;
    return position;
}

bool FileStorage::seek64(long long offset, eSeekMode mode)
{
    if (m_file == nullptr)
        return false;
    if (mode == eSeekFromCurrent && !acceptsTransfer())
        return false;
    int whence = SEEK_SET;
    switch (mode)
    {
    case eSeekFromStart:
        whence = SEEK_SET;
        break;
    case eSeekFromCurrent:
        whence = SEEK_CUR;
        break;
    case eSeekFromEnd:
        whence = SEEK_END;
        break;
    default:
        return acceptsTransfer();
    }
    if (::fseeko(m_file, static_cast<off_t>(offset), whence) != 0)
    {
        m_state = eStateError;
        return false;
    }
    // The state follows the new position, as in the memory storage: a
    // rewind after the last byte was read must let the next read succeed
    // without reporting the end of the file.
    struct stat info{};
    const off_t position = ::ftello(m_file);
    if (position < 0 || ::fstat(::fileno(m_file), &info) != 0)
    {
        m_state = eStateError;
        return false;
    }
    m_state = position >= info.st_size ? eStateEndOfFile : eStateOpen;
    return true;
}

} // namespace QV::GP
