#include <QV/GP/VersionNumber.h>
#include <QV/GP/compiled_resources.h>
#include <QV/GP/symbol.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using qv::compiled_resources;
using qv::symbol;

// --- Interning ------------------------------------------------------------

TEST(Symbol, EqualTextsShareOneEntry)
{
    EXPECT_EQ(symbol(std::string("abc")), symbol(std::string("abc")));
    EXPECT_EQ(symbol(std::string("abc")), symbol("abc", 3));
    EXPECT_EQ(&symbol(std::string("abc")).string(), &symbol("abc", 3).string());
    EXPECT_FALSE(symbol(std::string("abc")) == symbol(std::string("abd")));
    EXPECT_EQ(symbol(), symbol(std::string()));
    EXPECT_EQ(symbol(), symbol(nullptr, 0));
    EXPECT_EQ(symbol().string(), "");
}

TEST(Symbol, ThePointerAndLengthFormReadsExactlyTheLength)
{
    // No NUL behind the bytes: AddressSanitizer catches a read past them.
    auto bytes = std::make_unique<char[]>(3);
    std::memcpy(bytes.get(), "xyz", 3);
    EXPECT_EQ(symbol(bytes.get(), 3), symbol(std::string("xyz")));
    EXPECT_EQ(symbol("abcdef", 3), symbol(std::string("abc")));

}

TEST(Symbol, TextsEndAtTheirFirstNul)
{
    // The entry keeps the text it was first made from; later texts that are
    // equal up to their first NUL find it, in either form.
    const symbol withNul("nul\0b", 5);
    EXPECT_EQ(withNul.string(), std::string("nul\0b", 5));
    EXPECT_EQ(withNul, symbol("nul\0c", 5));
    EXPECT_EQ(withNul, symbol("nul", 3));
    EXPECT_EQ(withNul, symbol(std::string("nul\0", 4)));
    EXPECT_FALSE(withNul == symbol("nul!", 4));
    EXPECT_EQ(withNul.hash(), symbol(std::string("nul")).hash());
    EXPECT_TRUE(withNul == "nul");
    EXPECT_FALSE(withNul == "nul\x01");
    EXPECT_EQ(symbol("\0xyz", 4), symbol());
}

TEST(Symbol, ComparesWithTerminatedText)
{
    const symbol s(std::string("style"));
    EXPECT_TRUE(s == "style");
    EXPECT_FALSE(s == "styles");
    EXPECT_FALSE(s == "styl");
    EXPECT_FALSE(s == static_cast<const char*>(nullptr));
    EXPECT_TRUE(symbol() == "");
}

TEST(Symbol, HashIsSdbmOverSignedBytes)
{
    EXPECT_EQ(symbol(std::string("abc")).hash(), 417419622498ull);
    EXPECT_EQ(symbol().hash(), 0u);
    // A byte of 0x80 or above adds a negative value.
    EXPECT_EQ(symbol(std::string("\x80")).hash(), static_cast<std::uint64_t>(-128));
    EXPECT_EQ(symbol(std::string("a\xFF")).hash(), 97ull * 65599ull - 1ull);
}

TEST(Symbol, ThreadsInterningTheSameTextsGetTheSameEntries)
{
    constexpr int threadCount = 8;
    constexpr int textCount = 2000;
    std::vector<std::vector<const std::string*>> seen(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < textCount; ++i) {
                // Each thread walks the texts in its own order.
                const int n = (i * (2 * t + 1)) % textCount;
                seen[t].push_back(&symbol("threaded-" + std::to_string(n)).string());
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < textCount; ++i)
        EXPECT_EQ(seen[0][i], &symbol("threaded-" + std::to_string(i)).string());
    for (int t = 1; t < threadCount; ++t)
        for (int i = 0; i < textCount; ++i)
            ASSERT_EQ(seen[t][i], seen[0][(i * (2 * t + 1)) % textCount]);
}

// --- Compiled resources ---------------------------------------------------

namespace {

void expectNotFound(void (*lookup)())
{
    try {
        lookup();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "resource not found");
    }
}

} // namespace

TEST(CompiledResources, UnknownResourcesAreNotFound)
{
    expectNotFound([] { compiled_resources::resolve_resource_data(symbol(std::string("no such resource"))); });
    expectNotFound([] { compiled_resources::resolve_resource_data(symbol(std::string("PNG ")), 128); });
}

TEST(CompiledResources, RegisteredBlocksAreFoundByNameAndByTypeAndIndex)
{
    static const std::uint8_t first[] = {1, 2, 3};
    static const std::uint8_t second[] = {4};
    const symbol name(std::string("test/first.bin"));
    const symbol type(std::string("TEST"));

    ASSERT_TRUE(compiled_resources::register_resource(name, {first, sizeof first}));
    EXPECT_FALSE(compiled_resources::register_resource(name, {second, sizeof second}));
    ASSERT_TRUE(compiled_resources::register_resource(type, 1, {second, sizeof second}));
    ASSERT_TRUE(compiled_resources::register_resource(type, 2, {first, sizeof first}));

    const auto byName = compiled_resources::resolve_resource_data(name);
    EXPECT_EQ(byName.data(), first);
    EXPECT_EQ(byName.size(), 3u);
    EXPECT_EQ(compiled_resources::resolve_resource_data(type, 1).data(), second);
    EXPECT_EQ(compiled_resources::resolve_resource_data(type, 2).data(), first);
    expectNotFound([] { compiled_resources::resolve_resource_data(symbol(std::string("TEST")), 3); });
}

TEST(CompiledResources, TypeIndexHashFollowsItsFormula)
{
    const symbol type(std::string("abc"));
    const compiled_resources::type_index_key_hash hash;
    EXPECT_EQ(hash({type, 0}), static_cast<std::size_t>(417419622498ull * 0x9E3779B97F4A8000ull));
    EXPECT_EQ(hash({type, 1}), 0u);
    EXPECT_EQ(hash({type, 6}), static_cast<std::size_t>(5ull & (417419622498ull * 0x9E3779B97F4A8000ull)));
}

// --- Version numbers ------------------------------------------------------

TEST(VersionNumber, IsNullOnlyWhenEveryPartIsZero)
{
    EXPECT_TRUE(qv::commons::isNull({{0, 0, 0, 0}}));
    EXPECT_FALSE(qv::commons::isNull({{0, 0, 1, 0}}));
    // The parts add up to 0 modulo 2^32 but the version is not null.
    EXPECT_FALSE(qv::commons::isNull({{0xFFFFFFFFu, 1, 0, 0}}));
    EXPECT_FALSE(qv::commons::isNull({{0x80000000u, 0x80000000u, 0, 0}}));
}
