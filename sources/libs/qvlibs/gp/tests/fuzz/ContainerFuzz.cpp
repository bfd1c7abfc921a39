// Fuzz target for the container reader: any bytes, as a container file, must
// either be refused or give items that lie inside the file, read without
// touching memory outside what was read. Replayed over its corpus by an
// ordinary test under the test build's sanitizers.
#include <QV/GP/FileContainerItemStorage.h>
#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/FileName.h>

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// One folder per process for the file under test: the reader opens files by
// name, so the bytes go through the file system.
const std::string& scratchFile()
{
    static const std::string file = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-container-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            __builtin_trap();
        return QV::GP::FileName(boost::filesystem::path(pattern + "/pack.ctr")).getFull();
    }();
    return file;
}

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace QV::GP;
    const FileName name(scratchFile());
    {
        std::ofstream out(name.getSystemPath(false, true), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto fileSize = static_cast<long long>(size);

    FileContainerStorage container;
    if (container.open(name, IStorage::eAccessRead))
    {
        for (const FileContainerParser::tTocTableInfo& toc : container.getTocs())
            check(toc.start >= 0 && toc.dataStart() + static_cast<long long>(toc.dataLength) <= fileSize);
        for (std::uint32_t id = 0; id < 4; ++id)
        {
            FileContainerParser::tContentParseInfo info;
            if (container.getContentInfoOfItem(id, FileContainer::kAnyVersion, info))
                check(info.start >= 0 && info.length >= 0 && info.start + info.length <= fileSize);
        }
    }

    for (const char* subpath : {"<a", "<b", "<<1>", "<<2>", "<<3>"})
    {
        FileContainerItemStorage item;
        if (!item.open(FileName(name.getFull() + subpath), IStorage::eAccessRead))
            continue;
        check(item.getOffset() + item.getLength() <= static_cast<std::uint64_t>(fileSize));
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(item.getLength()) + 1);
        check(item.read(bytes.data(), bytes.size()) == bytes.size() - 1);
        check(std::equal(bytes.begin(), bytes.end() - 1, data + item.getOffset()));
    }
    return 0;
}
