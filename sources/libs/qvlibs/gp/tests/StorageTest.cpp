#include <QV/GP/FileName.h>
#include <QV/GP/FileStorage.h>
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/MemoryStorage.h>
#include <QV/GP/RangeLimitingStorage.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using QV::GP::FileName;
using QV::GP::FileStorage;
using QV::GP::IStorage;
using QV::GP::MemoryStorage;
using QV::GP::RangeLimitingStorage;

namespace {

std::string scratchPath(const std::string& leaf)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/gp-storage-" + std::to_string(::getpid()) + "-" + leaf;
}

void writeFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A typed file name, as writing requires.
FileName typedName(const std::string& path)
{
    FileName name{boost::filesystem::path(path)};
    name.setType(QV::GP::FileTypeManager::getStdType(QV::GP::FileTypeManager::eStdTypeXML));
    return name;
}

class StorageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { QV::GP::FileTypeManager::init(); }
    static void TearDownTestSuite() { QV::GP::FileTypeManager::deInit(); }
};

} // namespace

TEST_F(StorageTest, MemoryReadAtTheEndStopsAndSeeksRecover)
{
    std::array<unsigned char, 10> block{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryStorage storage;
    storage.init(IStorage::eAccessRead, static_cast<const void*>(block.data()), block.size());
    ASSERT_TRUE(storage.seek64(8, IStorage::eSeekFromStart));

    std::array<unsigned char, 4> out{};
    EXPECT_EQ(storage.read(out.data(), 4), 2u);
    EXPECT_EQ(out[1], 9);
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(storage.read(out.data(), 1), 0u) << "reads are refused after a failure";
    EXPECT_FALSE(storage.seek(-1, IStorage::eSeekFromCurrent)) << "so are relative seeks";

    EXPECT_TRUE(storage.seek64(10, IStorage::eSeekFromStart));
    EXPECT_EQ(storage.getState(), IStorage::eStateEndOfFile);
    EXPECT_FALSE(storage.seek64(11, IStorage::eSeekFromStart));
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(storage.getPos64(), 10);

    // A read that takes the last byte exactly ends in state 2.
    storage.seek64(9, IStorage::eSeekFromStart);
    EXPECT_EQ(storage.read(out.data(), 1), 1u);
    EXPECT_EQ(storage.getState(), IStorage::eStateEndOfFile);
}

TEST_F(StorageTest, MemorySeeksNeverOverflow)
{
    std::array<unsigned char, 10> block{};
    MemoryStorage storage;
    storage.init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), block.size());
    storage.seek64(5, IStorage::eSeekFromStart);

    const long long extremes[] = {LLONG_MAX, LLONG_MIN, LLONG_MAX - 4, -11};
    for (long long offset : extremes)
    {
        for (auto mode : {IStorage::eSeekFromStart, IStorage::eSeekFromCurrent, IStorage::eSeekFromEnd})
        {
            storage.seek64(5, IStorage::eSeekFromStart);
            EXPECT_FALSE(storage.seek64(offset, mode)) << offset << " mode " << mode;
            EXPECT_EQ(storage.getPos64(), 5);
        }
    }
    storage.seek64(5, IStorage::eSeekFromStart);
    EXPECT_TRUE(storage.seek(-1, IStorage::eSeekFromCurrent)) << "a 32-bit offset keeps its sign";
    EXPECT_EQ(storage.getPos64(), 4);
    EXPECT_TRUE(storage.seek64(-10, IStorage::eSeekFromEnd));
    EXPECT_EQ(storage.getPos64(), 0);
}

TEST_F(StorageTest, MemoryWritesStayInTheBlock)
{
    std::array<unsigned char, 6> block{'a', 'b', 'c', 'd', 'e', 'f'};
    MemoryStorage storage;
    storage.init(IStorage::eAccessWrite, static_cast<void*>(block.data()), 4);
    storage.seek64(2, IStorage::eSeekFromStart);
    EXPECT_EQ(storage.write("XYZ", 3), 2u);
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(std::string(block.begin(), block.end()), "abXYef");

    // A block handed over as constant is never written through.
    const std::array<unsigned char, 4> fixed{'k', 'e', 'e', 'p'};
    MemoryStorage reader;
    reader.init(IStorage::eAccessReadWrite, static_cast<const void*>(fixed.data()), fixed.size());
    EXPECT_EQ(reader.write("x", 1), 0u);
    EXPECT_EQ(reader.getState(), IStorage::eStateError);
    EXPECT_EQ(fixed[0], 'k');
}

TEST_F(StorageTest, OwnedMemoryGrowsByGranularityOrFactor)
{
    const auto contents = [](const MemoryStorage& storage) {
        return std::string(reinterpret_cast<const char*>(storage.getBuffer()), storage.getSize());
    };

    MemoryStorage granular;
    ASSERT_TRUE(granular.initOwned(IStorage::eAccessReadWrite, 0, 8, 0.0F));
    EXPECT_EQ(granular.write("hello", 5), 5u);
    EXPECT_EQ(granular.getSize(), 8u);
    EXPECT_EQ(granular.getState(), IStorage::eStateOpen);
    EXPECT_EQ(granular.write(" world", 6), 6u);
    EXPECT_EQ(granular.getSize(), 16u);
    EXPECT_EQ(contents(granular), std::string("hello world\0\0\0\0\0", 16)) << "the slack is zero-filled";

    // A write inside the block that runs past its end keeps what lies before.
    ASSERT_TRUE(granular.seek64(14, IStorage::eSeekFromStart));
    EXPECT_EQ(granular.write("XYZW", 4), 4u);
    EXPECT_EQ(granular.getSize(), 24u);
    EXPECT_EQ(contents(granular).substr(0, 18), std::string("hello world\0\0\0XYZW", 18));

    MemoryStorage factor;
    ASSERT_TRUE(factor.initOwned(IStorage::eAccessReadWrite, 4, 0, 0.5F));
    EXPECT_EQ(factor.write("0123456789", 10), 10u);
    EXPECT_EQ(factor.getSize(), 13u) << "4, 6, 9, 13";

    // Sizes the factor cannot increase grow to what the write needs instead
    // of looping for ever.
    MemoryStorage empty;
    ASSERT_TRUE(empty.initOwned(IStorage::eAccessReadWrite, 0, 0, 2.0F));
    EXPECT_EQ(empty.write("abc", 3), 3u);
    EXPECT_EQ(empty.getSize(), 3u);
    EXPECT_EQ(empty.getState(), IStorage::eStateEndOfFile);
    MemoryStorage tiny;
    ASSERT_TRUE(tiny.initOwned(IStorage::eAccessReadWrite, 1, 0, 0.1F));
    EXPECT_EQ(tiny.write("abc", 3), 3u);
    EXPECT_EQ(tiny.getSize(), 3u);
}

TEST_F(StorageTest, MemoryThatMayNotGrowStopsAtItsEnd)
{
    MemoryStorage fixed;
    ASSERT_TRUE(fixed.initOwned(IStorage::eAccessReadWrite, 4, 0, 0.0F));
    EXPECT_EQ(fixed.write("abcdef", 6), 4u);
    EXPECT_EQ(fixed.getState(), IStorage::eStateError);

    // A caller's block given later is never grown, whatever came before.
    std::array<unsigned char, 2> block{};
    MemoryStorage storage;
    ASSERT_TRUE(storage.initOwned(IStorage::eAccessReadWrite, 0, 8, 0.0F));
    storage.init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), block.size());
    EXPECT_EQ(storage.write("abc", 3), 2u);
    EXPECT_EQ(storage.getSize(), 2u);
}

TEST_F(StorageTest, FileReadPastTheEndFailsUntilASeek)
{
    const std::string path = scratchPath("read");
    writeFile(path, "0123456789");
    FileStorage storage;
    ASSERT_TRUE(storage.open(FileName(boost::filesystem::path(path)), IStorage::eAccessRead));
    EXPECT_EQ(storage.getFileSize(), 10u);

    char out[16] = {};
    EXPECT_EQ(storage.read(out, 4), 4u);
    EXPECT_EQ(storage.getState(), IStorage::eStateOpen);
    EXPECT_EQ(storage.read(out, 6), 6u);
    EXPECT_EQ(storage.getState(), IStorage::eStateEndOfFile) << "the last byte was taken";

    storage.seek64(7, IStorage::eSeekFromStart);
    EXPECT_EQ(storage.read(out, 8), 3u);
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(storage.read(out, 1), 0u);

    EXPECT_TRUE(storage.seek64(0, IStorage::eSeekFromStart));
    EXPECT_TRUE(storage.seek(-1, IStorage::eSeekFromEnd));
    EXPECT_EQ(storage.getPos64(), 9);
    EXPECT_EQ(storage.read(out, 1), 1u);
    EXPECT_EQ(out[0], '9');
    EXPECT_EQ(storage.getState(), IStorage::eStateEndOfFile);

    // A seek from the end of the file recomputes the state from the new
    // position: a full read after a rewind is no longer at the end.
    EXPECT_TRUE(storage.seek64(0, IStorage::eSeekFromStart));
    EXPECT_EQ(storage.getState(), IStorage::eStateOpen);
    EXPECT_EQ(storage.read(out, 5), 5u);
    EXPECT_EQ(storage.getState(), IStorage::eStateOpen);
    EXPECT_TRUE(storage.seek64(0, IStorage::eSeekFromEnd));
    EXPECT_EQ(storage.getState(), IStorage::eStateEndOfFile);
    EXPECT_TRUE(storage.seek64(-3, IStorage::eSeekFromCurrent));
    EXPECT_EQ(storage.getState(), IStorage::eStateOpen);

    storage.close();
    EXPECT_EQ(storage.getState(), IStorage::eStateClosed);
    EXPECT_EQ(storage.getPos64(), -1);
    ::unlink(path.c_str());
}

TEST_F(StorageTest, FileOpenRefusesWhatItCannotDo)
{
    FileStorage storage;
    EXPECT_FALSE(storage.open(FileName(boost::filesystem::path(scratchPath("missing"))), IStorage::eAccessRead));
    EXPECT_EQ(storage.getState(), IStorage::eStateError);

    // Writing needs a file name with a type; such a refusal changes nothing.
    FileStorage untouched;
    const std::string path = scratchPath("untyped");
    EXPECT_FALSE(untouched.open(FileName(boost::filesystem::path(path)), IStorage::eAccessWrite));
    EXPECT_EQ(untouched.getState(), IStorage::eStateClosed);
    EXPECT_NE(::access(path.c_str(), F_OK), 0);

    const std::string folder = boost::filesystem::path(path).parent_path().string();
    EXPECT_FALSE(untouched.open(FileName(boost::filesystem::path(folder)), IStorage::eAccessReadWrite))
        << "a directory is no file";
    EXPECT_FALSE(untouched.open(FileName(boost::filesystem::path(folder)), IStorage::eAccessRead));
    EXPECT_FALSE(untouched.open(typedName(path), static_cast<IStorage::eAccessMode>(7)));
}

TEST_F(StorageTest, FileWriteLocksBeforeItEmptiesTheFile)
{
    const std::string path = scratchPath("locked");
    writeFile(path, "precious");
    const int holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    FileStorage storage;
    EXPECT_FALSE(storage.open(typedName(path), IStorage::eAccessWrite, IStorage::eLockExclusiveNoWait));
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(readFile(path), "precious") << "a writer that did not get the lock must not have emptied the file";

    ::flock(holder, LOCK_UN);
    ASSERT_TRUE(storage.open(typedName(path), IStorage::eAccessWrite, IStorage::eLockExclusiveNoWait));
    EXPECT_EQ(storage.getFileSize(), 0u);
    EXPECT_EQ(storage.write("new", 3), 3u);
    EXPECT_EQ(readFile(path), "new") << "writes reach the file at once";
    EXPECT_NE(::flock(holder, LOCK_EX | LOCK_NB), 0) << "the storage holds the lock";
    EXPECT_TRUE(storage.close());
    EXPECT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0) << "closing lets go of it";
    ::close(holder);
    ::unlink(path.c_str());
}

TEST_F(StorageTest, FileWriteThatCannotCompleteAnswersZeroWithError)
{
    // /dev/full takes no bytes: every write fails once it is flushed.
    FileStorage storage;
    ASSERT_TRUE(storage.open(FileName(boost::filesystem::path("/dev/full")), IStorage::eAccessReadWrite));
    EXPECT_EQ(storage.write("data", 4), 0u);
    EXPECT_EQ(storage.getState(), IStorage::eStateError);
    EXPECT_EQ(storage.write("data", 4), 0u) << "refused until a seek";
}

TEST_F(StorageTest, FileReadWriteCreatesAndKeepsContents)
{
    const std::string path = scratchPath("rw");
    FileStorage storage;
    ASSERT_TRUE(storage.open(FileName(boost::filesystem::path(path)), IStorage::eAccessReadWrite));
    EXPECT_EQ(storage.write("abcdef", 6), 6u);
    ASSERT_TRUE(storage.seek64(2, IStorage::eSeekFromStart));
    char out[2] = {};
    EXPECT_EQ(storage.read(out, 2), 2u);
    EXPECT_EQ(std::string(out, 2), "cd");
    storage.close();
    EXPECT_EQ(readFile(path), "abcdef");
    ::unlink(path.c_str());
}

TEST_F(StorageTest, WindowEndAsDocumented)
{
    const std::string path = scratchPath("window");
    writeFile(path, std::string(1000, 'w'));
    auto* file = new FileStorage;
    ASSERT_TRUE(file->open(FileName(boost::filesystem::path(path)), IStorage::eAccessRead));
    RangeLimitingStorage window;
    ASSERT_TRUE(window.init(file, true, 100, 50));
    EXPECT_EQ(window.getPos64(), 0);

    EXPECT_TRUE(window.seek64(0, IStorage::eSeekFromEnd));
    EXPECT_EQ(file->getPos64(), 150);
    EXPECT_EQ(window.getState(), IStorage::eStateEndOfFile);
    EXPECT_EQ(window.getPos64(), 50);
    char out[10];
    EXPECT_EQ(window.read(out, 10), 0u);
    EXPECT_EQ(window.getState(), IStorage::eStateError);

    EXPECT_FALSE(window.seek64(51, IStorage::eSeekFromEnd));
    EXPECT_FALSE(window.seek64(-1, IStorage::eSeekFromStart));
    EXPECT_TRUE(window.seek64(45, IStorage::eSeekFromStart));
    EXPECT_EQ(window.read(out, 10), 5u) << "reads are cut at the window's end";
    EXPECT_EQ(window.getState(), IStorage::eStateError);
    EXPECT_EQ(file->getPos64(), 150) << "nothing beyond the window was read";

    EXPECT_TRUE(window.seek64(0, IStorage::eSeekFromStart));
    EXPECT_FALSE(window.seek(-1, IStorage::eSeekFromCurrent)) << "before the window";
    EXPECT_EQ(window.getPos64(), -1);
    ::unlink(path.c_str());
}

TEST_F(StorageTest, WindowWritesNeverReachTheNeighbours)
{
    std::array<unsigned char, 20> block;
    block.fill('.');
    MemoryStorage memory;
    memory.init(IStorage::eAccessReadWrite, static_cast<void*>(block.data()), block.size());
    RangeLimitingStorage window;
    ASSERT_TRUE(window.init(&memory, false, 5, 5));

    window.seek64(3, IStorage::eSeekFromStart);
    EXPECT_EQ(window.write("ABCD", 4), 0u);
    EXPECT_EQ(window.getState(), IStorage::eStateError);
    EXPECT_EQ(std::string(block.begin(), block.end()), std::string(20, '.'));

    window.seek64(3, IStorage::eSeekFromStart);
    EXPECT_EQ(window.write("AB", 2), 2u);
    EXPECT_EQ(std::string(block.begin(), block.end()), "........AB..........");
}

TEST_F(StorageTest, WindowWithoutLengthRunsToTheInnerEnd)
{
    const std::array<unsigned char, 10> block{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryStorage memory;
    memory.init(IStorage::eAccessRead, static_cast<const void*>(block.data()), block.size());
    RangeLimitingStorage window;
    ASSERT_TRUE(window.init(&memory, false, 4, 0));

    // A short read of the inner storage shows in the window's state.
    unsigned char out[10] = {};
    EXPECT_EQ(window.read(out, 10), 6u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(window.getState(), IStorage::eStateError);

    EXPECT_TRUE(window.seek64(2, IStorage::eSeekFromEnd)) << "counts back from the end";
    EXPECT_EQ(window.getPos64(), 4);
    EXPECT_EQ(window.read(out, 1), 1u);
    EXPECT_EQ(out[0], 8);
}

TEST_F(StorageTest, WindowPositionsBeyondFourGigabytes)
{
    // A sparse file puts the window where 32-bit positions would wrap.
    const std::string path = scratchPath("huge");
    const long long start = (1LL << 32) + 7;
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        if (::pwrite(fd, "MARK", 4, start + 2) != 4 || ::ftruncate(fd, start + 100) != 0)
        {
            ::close(fd);
            ::unlink(path.c_str());
            GTEST_SKIP() << "the scratch file system holds no sparse files";
        }
        ::close(fd);
    }
    auto* file = new FileStorage;
    ASSERT_TRUE(file->open(FileName(boost::filesystem::path(path)), IStorage::eAccessRead));
    RangeLimitingStorage window;
    ASSERT_TRUE(window.init(file, true, static_cast<std::uint64_t>(start), 10));
    EXPECT_EQ(window.getPos64(), 0);
    ASSERT_TRUE(window.seek64(2, IStorage::eSeekFromStart));
    char out[4] = {};
    EXPECT_EQ(window.read(out, 4), 4u);
    EXPECT_EQ(std::string(out, 4), "MARK");
    EXPECT_EQ(window.getPos64(), 6);
    EXPECT_TRUE(window.seek64(0, IStorage::eSeekFromEnd));
    EXPECT_EQ(window.getState(), IStorage::eStateEndOfFile);
    EXPECT_EQ(file->getPos64(), start + 10);

    RangeLimitingStorage overflowing;
    EXPECT_FALSE(overflowing.init(&window, false, ~0ULL, 1)) << "a window past the largest position";
    EXPECT_FALSE(window.seek64(LLONG_MAX, IStorage::eSeekFromStart));
    ::unlink(path.c_str());
}
