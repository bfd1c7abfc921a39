// Catalogue look-up: our text domain against glibc's dgettext on the same
// catalogue, written by msgfmt, with the same keys in the same order.
#include <QV/GP/GetTextDomain.h>
#include <QV/GP/GetTextLoader.h>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libintl.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kMessages = 500;
const char kDomain[] = "gpbench";

struct Catalogue
{
    std::vector<std::string> translated;
    std::vector<std::string> absent;
    std::unique_ptr<QV::GP::GetTextDomain> domain;
};

// Writes a catalogue of typical user-interface texts, compiles it with
// msgfmt, loads it into our domain and binds glibc to it.
Catalogue& catalogue()
{
    static Catalogue c = [] {
        Catalogue made;
        const fs::path root = fs::temp_directory_path() / "gp-catalogue-bench";
        fs::create_directories(root / "fr" / "LC_MESSAGES");
        {
            std::ofstream po(root / "bench.po");
            po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
            for (int i = 0; i < kMessages; ++i) {
                const std::string source = "Button or label text number " + std::to_string(i);
                po << "msgid \"" << source << "\"\nmsgstr \"Texte de bouton numéro " << i << "\"\n\n";
                made.translated.push_back(source);
                made.absent.push_back(source + " without translation");
            }
        }
        const fs::path mo = root / "fr" / "LC_MESSAGES" / (std::string(kDomain) + ".mo");
        const std::string command = "msgfmt -o '" + mo.string() + "' '" + (root / "bench.po").string() + "'";
        if (std::system(command.c_str()) != 0)
            std::abort();

        std::ifstream in(mo, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::map<std::string, std::string> translations;
        if (!QV::GP::GetTextLoader::loadDomain(translations, bytes.data(), bytes.size()))
            std::abort();
        made.domain = std::make_unique<QV::GP::GetTextDomain>(std::move(translations));

        std::setlocale(LC_ALL, "C.UTF-8");
        setenv("LANGUAGE", "fr", 1);
        bindtextdomain(kDomain, root.c_str());
        bind_textdomain_codeset(kDomain, "UTF-8");
        if (std::string(dgettext(kDomain, made.translated[0].c_str())) != made.domain->get(made.translated[0].c_str()))
            std::abort();
        return made;
    }();
    return c;
}

const std::vector<std::string>& keys(const benchmark::State& state)
{
    return state.range(0) ? catalogue().translated : catalogue().absent;
}

void BM_CatalogueLookup_Ours(benchmark::State& state)
{
    const auto& texts = keys(state);
    QV::GP::GetTextDomain& domain = *catalogue().domain;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(domain.get(texts[i].c_str()).data());
        i = i + 1 == texts.size() ? 0 : i + 1;
    }
}

void BM_CatalogueLookup_GlibcDgettext(benchmark::State& state)
{
    const auto& texts = keys(state);
    catalogue();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dgettext(kDomain, texts[i].c_str()));
        i = i + 1 == texts.size() ? 0 : i + 1;
    }
}

// Reading the whole catalogue, for scale.
void BM_CatalogueLoad_Ours(benchmark::State& state)
{
    const fs::path mo = fs::temp_directory_path() / "gp-catalogue-bench" / "fr" / "LC_MESSAGES" /
                        (std::string(kDomain) + ".mo");
    catalogue();
    std::ifstream in(mo, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto _ : state) {
        std::map<std::string, std::string> translations;
        QV::GP::GetTextLoader::loadDomain(translations, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(translations.size());
    }
}

} // namespace

// Argument 1: texts the catalogue translates; 0: texts it does not hold.
BENCHMARK(BM_CatalogueLookup_Ours)->Arg(1)->Arg(0);
BENCHMARK(BM_CatalogueLookup_GlibcDgettext)->Arg(1)->Arg(0);
BENCHMARK(BM_CatalogueLoad_Ours);

BENCHMARK_MAIN();
