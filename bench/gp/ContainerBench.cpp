// Container item look-up among 10 000 items (by id with and without a
// mapping table, by name), and a sequential read of a container split over
// four part files against the same bytes read from one file.
#include "ContainerBuilder.h"

#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileStorage.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace QV::GP;
using QV::GP::Testing::ContainerBuilder;
using QV::GP::Testing::ContainerItem;
using QV::GP::Testing::ContainerToc;

constexpr std::uint32_t kItems = 10000;

fs::path benchFolder()
{
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / "gp-container-bench";
        fs::create_directories(made);
        return made;
    }();
    return folder;
}

std::string colonName(const fs::path& path)
{
    return FileName(boost::filesystem::path(path.string())).getFull();
}

// A container of 10 000 small items, with or without a mapping table.
FileContainerStorage& manyItems(bool mapping)
{
    static std::unique_ptr<FileContainerStorage> containers[2];
    std::unique_ptr<FileContainerStorage>& container = containers[mapping ? 1 : 0];
    if (!container)
    {
        ContainerToc toc;
        toc.mapping = mapping;
        for (std::uint32_t i = 0; i < kItems; ++i)
            toc.items.push_back({"pictures/item" + std::to_string(i) + ".png", i * 3 + 1, 1, std::string(16, 'x')});
        ContainerBuilder builder;
        builder.toc(toc);
        const std::string base = mapping ? "mapped" : "plain";
        QV::GP::Testing::writeParts(benchFolder(), base, "ctr", builder.bytes());
        container = std::make_unique<FileContainerStorage>();
        if (!container->open(FileName(colonName(benchFolder() / (base + ".ctr"))), IStorage::eAccessRead))
            std::abort();
    }
    return *container;
}

void lookUpById(benchmark::State& state, bool mapping)
{
    FileContainerStorage& container = manyItems(mapping);
    std::mt19937 random(1);
    FileContainerParser::tContentParseInfo info;
    for (auto _ : state)
    {
        const std::uint32_t id = (random() % kItems) * 3 + 1;
        if (!container.getContentInfoOfItem(id, FileContainer::kAnyVersion, info))
            state.SkipWithError("item not found");
        benchmark::DoNotOptimize(info.start);
    }
}

void BM_LookUpByIdWithMapping(benchmark::State& state)
{
    lookUpById(state, true);
}
void BM_LookUpByIdWithoutMapping(benchmark::State& state)
{
    lookUpById(state, false);
}

void BM_LookUpByName(benchmark::State& state)
{
    FileContainerStorage& container = manyItems(false);
    std::mt19937 random(2);
    FileContainerParser::tContentParseInfo info;
    for (auto _ : state)
    {
        const std::string name = "pictures/item" + std::to_string(random() % kItems) + ".png";
        if (!container.getContentInfoOfItem(name, FileContainer::kAnyVersion, info))
            state.SkipWithError("item not found");
        benchmark::DoNotOptimize(info.start);
    }
}

// 32 MiB of item data: one file, and the same bytes cut into four parts.
constexpr std::size_t kDataBytes = 32u << 20;

const std::vector<std::uint8_t>& bigContainer()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::string data(kDataBytes, '\0');
        std::mt19937 random(3);
        for (char& c : data)
            c = static_cast<char>(random());
        ContainerToc toc;
        toc.items.push_back({"big", 1, 1, data});
        ContainerBuilder builder;
        builder.descriptor(0, 4).toc(toc);
        const std::size_t quarter = builder.size() / 4;
        QV::GP::Testing::writeParts(benchFolder(), "split", "ctr", builder.bytes(), {quarter, quarter, quarter});
        QV::GP::Testing::writeParts(benchFolder(), "whole", "bin", builder.bytes());
        return builder.bytes();
    }();
    return bytes;
}

template <typename Open>
void readAll(benchmark::State& state, Open open)
{
    const std::size_t total = bigContainer().size();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
    {
        // Opening is timed on its own (BM_Open...): a container's open reads
        // its tables and the mount table behind its file names.
        state.PauseTiming();
        auto storage = open();
        state.ResumeTiming();
        std::size_t read = 0;
        while (read < total)
        {
            const std::size_t got = storage->read(buffer.data(), std::min(buffer.size(), total - read));
            if (got == 0)
                break;
            read += got;
        }
        if (read != total)
            state.SkipWithError("short read");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(total));
}

void BM_ReadOneFile(benchmark::State& state)
{
    const FileName name(colonName(benchFolder() / "whole.bin"));
    readAll(state, [&] {
        auto storage = std::make_unique<FileStorage>();
        storage->open(name, IStorage::eAccessRead);
        return storage;
    });
}

void BM_ReadFourParts(benchmark::State& state)
{
    const FileName name(colonName(benchFolder() / "split.ctr"));
    readAll(state, [&] {
        auto storage = std::make_unique<FileContainerStorage>();
        storage->open(name, IStorage::eAccessRead);
        return storage;
    });
}

void BM_OpenOneFile(benchmark::State& state)
{
    bigContainer();
    const FileName name(colonName(benchFolder() / "whole.bin"));
    for (auto _ : state)
    {
        FileStorage storage;
        benchmark::DoNotOptimize(storage.open(name, IStorage::eAccessRead));
    }
}

void BM_OpenFourParts(benchmark::State& state)
{
    bigContainer();
    const FileName name(colonName(benchFolder() / "split.ctr"));
    for (auto _ : state)
    {
        FileContainerStorage storage;
        benchmark::DoNotOptimize(storage.open(name, IStorage::eAccessRead));
    }
}

} // namespace

BENCHMARK(BM_OpenOneFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenFourParts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookUpByIdWithMapping);
BENCHMARK(BM_LookUpByIdWithoutMapping)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookUpByName)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadOneFile)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFourParts)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
