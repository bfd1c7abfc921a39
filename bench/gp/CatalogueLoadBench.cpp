// Catalogue loading: the time to read a catalogue must grow in proportion to
// its size, for ordinary catalogues and for ones whose entries all point at
// one large text.
#include <QV/GP/GetTextLoader.h>

#include "MoFileBuilder.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace {

using QV::GP::Testing::MoFileBuilder;

void load(benchmark::State& state, const std::vector<std::uint8_t>& bytes)
{
    for (auto _ : state) {
        std::map<std::string, std::string> read;
        std::string why;
        if (!QV::GP::GetTextLoader::loadDomain(read, bytes.data(), bytes.size(), &why))
            state.SkipWithError(why.c_str());
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetComplexityN(static_cast<std::int64_t>(bytes.size()));
}

// Entries of typical user-interface texts, as msgfmt writes them.
void BM_LoadOrdinaryCatalogue(benchmark::State& state)
{
    MoFileBuilder mo;
    mo.add("", "Content-Type: text/plain; charset=UTF-8\n");
    std::size_t size = 0;
    for (int i = 0; size < static_cast<std::size_t>(state.range(0)); ++i) {
        std::string source = "Button or label text number ";
        source += std::to_string(i);
        std::string translation = "Texte de bouton numéro ";
        translation += std::to_string(i);
        size += 16 + source.size() + translation.size() + 2;
        mo.add(std::move(source), std::move(translation));
    }
    load(state, mo.build());
}
BENCHMARK(BM_LoadOrdinaryCatalogue)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity(benchmark::oN);

// Every entry's source and translation point at one text that fills three
// quarters of the file.
void BM_LoadSharedTextCatalogue(benchmark::State& state)
{
    load(state, MoFileBuilder::sharedText(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_LoadSharedTextCatalogue)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity(benchmark::oN);

// The same, with a short source text of its own for each entry; refused once
// the copies would outgrow the file, after work in proportion to its size.
void BM_RefuseSharedTranslationCatalogue(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = MoFileBuilder::sharedText(static_cast<std::size_t>(state.range(0)), true);
    for (auto _ : state) {
        std::map<std::string, std::string> read;
        benchmark::DoNotOptimize(QV::GP::GetTextLoader::loadDomain(read, bytes.data(), bytes.size()));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RefuseSharedTranslationCatalogue)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
