#include <QV/GP/StringUtil.h>
#include <QV/GP/symbol.h>

#include <benchmark/benchmark.h>

#include <boost/locale/encoding_utf.hpp>

#include <iconv.h>

#include <random>
#include <string>
#include <vector>

using QV::GP::StringUtil;

namespace {

std::vector<std::string> names(const char* prefix, std::size_t count)
{
    std::vector<std::string> result;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        result.push_back(std::string(prefix) + "/widget." + std::to_string(i * 7919 % 100003));
    return result;
}

// Texts already in the table, looked up in a scattered order.
void SymbolLookup(benchmark::State& state)
{
    static const std::vector<std::string> texts = [] {
        auto all = names("lookup", 10000);
        for (const auto& text : all)
            qv::symbol{text};
        return all;
    }();
    std::size_t i = static_cast<std::size_t>(state.thread_index()) * 1237;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::symbol(texts[i % texts.size()]));
        i += 7;
    }
}
BENCHMARK(SymbolLookup)->Threads(1)->Threads(4)->Threads(8);

// Texts met for the first time.
void SymbolIntern(benchmark::State& state)
{
    static std::size_t round = 0;
    const auto texts = names(("intern" + std::to_string(round++)).c_str(), 100000);
    std::size_t i = 0;
    for (auto _ : state) {
        if (i == texts.size()) {
            state.SkipWithError("ran out of new texts");
            break;
        }
        benchmark::DoNotOptimize(qv::symbol(texts[i++]));
    }
}
BENCHMARK(SymbolIntern)->Iterations(100000);

void SymbolCompare(benchmark::State& state)
{
    const qv::symbol a(std::string("compare/a")), b(std::string("compare/b"));
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}
BENCHMARK(SymbolCompare);

// 64 KiB of text: plain ASCII, or a mix of Latin, Cyrillic, CJK and emoji.
std::u32string sampleText(bool ascii)
{
    std::mt19937 random(1);
    std::u32string text;
    const char32_t pool[] = {U'a', U'Z', U' ', U'\u00E9', U'\u0436', U'\u4E2D', U'\U0001F600'};
    while (text.size() < 65536)
        text.push_back(ascii ? static_cast<char32_t>(std::uniform_int_distribution<int>(0x20, 0x7E)(random))
                             : pool[std::uniform_int_distribution<int>(0, 6)(random)]);
    return text;
}

const std::string& utf8Sample(bool ascii)
{
    static const std::string texts[2] = {boost::locale::conv::utf_to_utf<char>(sampleText(false)),
                                         boost::locale::conv::utf_to_utf<char>(sampleText(true))};
    return texts[ascii ? 1 : 0];
}

const std::u16string& utf16Sample(bool ascii)
{
    static const std::u16string texts[2] = {boost::locale::conv::utf_to_utf<char16_t>(sampleText(false)),
                                            boost::locale::conv::utf_to_utf<char16_t>(sampleText(true))};
    return texts[ascii ? 1 : 0];
}

void UTF8ToUTF16(benchmark::State& state)
{
    const std::string& text = utf8Sample(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(QV::GP::details::utf_to_utf<char16_t, char, true>::apply(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(UTF8ToUTF16)->ArgName("ascii")->Arg(0)->Arg(1);

void UTF16ToUTF8(benchmark::State& state)
{
    const std::u16string& text = utf16Sample(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(StringUtil::fromUTF<char16_t>(text.data(), text.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(UTF16ToUTF8)->ArgName("ascii")->Arg(0)->Arg(1);

void UTF8Filter(benchmark::State& state)
{
    const std::string& text = utf8Sample(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(StringUtil::fromUTF_filter<char>(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(UTF8Filter)->ArgName("ascii")->Arg(0)->Arg(1);

// References on the same texts: Boost.Locale's skipping converter and
// glibc's iconv.
void BoostLocaleUTF8ToUTF16(benchmark::State& state)
{
    const std::string& text = utf8Sample(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(boost::locale::conv::utf_to_utf<char16_t>(text, boost::locale::conv::skip));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BoostLocaleUTF8ToUTF16)->ArgName("ascii")->Arg(0)->Arg(1);

void BoostLocaleUTF16ToUTF8(benchmark::State& state)
{
    const std::u16string& text = utf16Sample(state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(boost::locale::conv::utf_to_utf<char>(text, boost::locale::conv::skip));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BoostLocaleUTF16ToUTF8)->ArgName("ascii")->Arg(0)->Arg(1);

void IconvUTF8ToUTF16(benchmark::State& state)
{
    const std::string& text = utf8Sample(state.range(0) != 0);
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    std::u16string out(text.size(), u'\0');
    for (auto _ : state) {
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char* outPtr = reinterpret_cast<char*>(out.data());
        size_t outLeft = out.size() * 2;
        iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        benchmark::DoNotOptimize(outPtr);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(IconvUTF8ToUTF16)->ArgName("ascii")->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
