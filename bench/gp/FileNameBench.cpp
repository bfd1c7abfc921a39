// Parsing file names: converting absolute POSIX paths to the colon form and
// parsing colon-form texts must not read the mount table each time. The
// counter tableReads says how often it was read during the run (0 expected);
// run under `strace -c -f` to count the system calls of one benchmark.
#include <QV/GP/FileName.h>
#include <QV/GP/FileTypeManager.h>

#include "Linux/MountedVolumes.h"

#include <benchmark/benchmark.h>
#include <boost/filesystem/path.hpp>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using QV::GP::FileName;
using QV::GP::DETAIL::MountedVolumes;

const std::string& existingFile()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string made = std::string(tmp != nullptr ? tmp : "/tmp") + "/gp-name-bench-" +
                           std::to_string(::getpid()) + ".bin";
        std::ofstream(made) << "firmware";
        return made;
    }();
    return path;
}

template <typename Parse>
void run(benchmark::State& state, Parse parse)
{
    QV::GP::FileTypeManager::init();
    parse(); // the first look-up reads the mount table
    const std::uint64_t reads = MountedVolumes::readCount();
    for (auto _ : state)
        parse();
    state.counters["tableReads"] = static_cast<double>(MountedVolumes::readCount() - reads);
    QV::GP::FileTypeManager::deInit();
}

void BM_PosixToColonForm(benchmark::State& state)
{
    run(state, [] {
        benchmark::DoNotOptimize(FileName::POSIX2HFSPath("/home/user/Documents/firmware/keyboard-2.1.bin"));
    });
}
BENCHMARK(BM_PosixToColonForm);

// No such file: the parse asks the file system once whether it exists.
void BM_ParseAbsoluteColonPath(benchmark::State& state)
{
    run(state, [] {
        const FileName name("Root:home:user:Documents:firmware:keyboard-2.1.bin");
        benchmark::DoNotOptimize(name.getName());
    });
}
BENCHMARK(BM_ParseAbsoluteColonPath);

void BM_ParseAbsolutePosixPath(benchmark::State& state)
{
    const boost::filesystem::path path("/home/user/Documents/firmware/keyboard-2.1.bin");
    run(state, [&path] {
        const FileName name(path);
        benchmark::DoNotOptimize(name.getName());
    });
}
BENCHMARK(BM_ParseAbsolutePosixPath);

// An existing file is described as the file system sees it.
void BM_ParseExistingAbsolutePosixPath(benchmark::State& state)
{
    const boost::filesystem::path path(existingFile());
    run(state, [&path] {
        const FileName name(path);
        benchmark::DoNotOptimize(name.getName());
    });
    ::unlink(existingFile().c_str());
}
BENCHMARK(BM_ParseExistingAbsolutePosixPath);

} // namespace

BENCHMARK_MAIN();
