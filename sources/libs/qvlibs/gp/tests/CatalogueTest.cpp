#include <QV/GP/GetTextDomain.h>
#include <QV/GP/GetTextLoader.h>
#include <QV/GP/MemoryStream.h>

#include "Common/GetTextBundle.h"
#include "MoFileBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using QV::GP::GetTextDomain;
using QV::GP::GetTextLoader;
using QV::GP::Testing::MoFileBuilder;
using Map = std::map<std::string, std::string>;

MoFileBuilder sample(bool bigEndian)
{
    MoFileBuilder mo(bigEndian);
    mo.add("", "Content-Type: text/plain; charset=UTF-8\n")
        .add("OK", "D'accord")
        .add("Cancel", "Annuler")
        .add(std::string("file\0files", 10), std::string("fichier\0fichiers", 16))
        .add("Yes", "Oui")
        .add("Yes", "Ouais");
    return mo;
}

bool load(Map& into, const std::vector<std::uint8_t>& bytes, std::string* why = nullptr)
{
    return GetTextLoader::loadDomain(into, bytes.data(), bytes.size(), why);
}

TEST(CatalogueReader, ReadsBothByteOrdersAlike)
{
    const Map expected = {{"OK", "D'accord"}, {"Cancel", "Annuler"}, {"file", "fichier"}, {"Yes", "Oui"}};
    for (bool bigEndian : {false, true}) {
        Map read;
        ASSERT_TRUE(load(read, sample(bigEndian).build())) << bigEndian;
        // The header entry is skipped, a plural entry gives its first form and
        // the first of two equal source texts wins.
        EXPECT_EQ(read, expected) << bigEndian;
    }
}

TEST(CatalogueReader, KeepsTranslationsAlreadyInTheMap)
{
    Map read = {{"OK", "Okay"}};
    ASSERT_TRUE(load(read, sample(false).build()));
    EXPECT_EQ(read["OK"], "Okay");
    EXPECT_EQ(read["Cancel"], "Annuler");
}

TEST(CatalogueReader, ReadsThroughAStream)
{
    const std::vector<std::uint8_t> bytes = sample(true).build();
    QV::GP::MemoryStream stream;
    ASSERT_TRUE(stream.getMemoryStorage().init(QV::GP::IStorage::eAccessRead,
                                               static_cast<const void*>(bytes.data()), bytes.size()));
    Map read;
    ASSERT_TRUE(GetTextLoader::loadDomain(read, stream));
    EXPECT_EQ(read.size(), 4u);
}

// Every cut of a catalogue either loads nothing or, when only the final NUL
// went, loads all of it: never a part.
TEST(CatalogueReader, TruncatedCatalogueLoadsNothing)
{
    for (bool bigEndian : {false, true}) {
        const std::vector<std::uint8_t> whole = sample(bigEndian).build();
        Map full;
        ASSERT_TRUE(load(full, whole));
        for (std::size_t size = 0; size < whole.size(); ++size) {
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + size);
            Map read = {{"kept", "as is"}};
            std::string why;
            if (load(read, cut, &why)) {
                EXPECT_EQ(size, whole.size() - 1);
                EXPECT_EQ(read.size(), full.size() + 1);
            } else {
                EXPECT_FALSE(why.empty());
                EXPECT_EQ(read, (Map{{"kept", "as is"}})) << size;
            }
        }
    }
}

// Catalogues whose header or tables point outside the file, with sums that
// would wrap in 32 bits. Each loads nothing and says why.
TEST(CatalogueReader, LyingCatalogueLoadsNothing)
{
    struct Lie
    {
        const char* what;
        std::uint32_t at;  // an offset into the file, or one of the marks below
        std::uint32_t value;
    };
    const MoFileBuilder mo = sample(false);
    const std::uint32_t source1 = mo.sourceTable() + 8;
    const std::uint32_t translation1 = mo.translationTable() + 8;
    const Lie lies[] = {
        {"magic", 0, 0x12345678},
        {"revision", 4, 1},
        {"count", 8, 0xffffffff},
        {"count just too large", 8, mo.count() + 100},
        {"source table", 12, 0xfffffff8},
        {"translation table", 16, 0xfffffff0},
        {"source length", source1, 0xffffffff},
        {"source offset", source1 + 4, 0xfffffffe},
        {"source offset and length wrap", source1 + 4, 0xffffffff - 1},
        {"translation length", translation1, 0x7fffffff},
        {"translation offset", translation1 + 4, 0xffffff00},
    };
    for (const Lie& lie : lies) {
        std::vector<std::uint8_t> bytes = mo.build();
        mo.put(bytes, lie.at, lie.value);
        Map read;
        std::string why;
        EXPECT_FALSE(load(read, bytes, &why)) << lie.what;
        EXPECT_TRUE(read.empty()) << lie.what;
        EXPECT_FALSE(why.empty()) << lie.what;
    }
    Map read;
    EXPECT_FALSE(GetTextLoader::loadDomain(read, nullptr, 0));
}

// Entries pointing at one large text: the text is taken once, and a file
// whose entries would copy it over and over is refused instead of filling
// memory with copies.
TEST(CatalogueReader, SharedTextsAreReadOnce)
{
    const std::vector<std::uint8_t> shared = MoFileBuilder::sharedText(4 * 1024 * 1024);
    Map read;
    std::string why;
    ASSERT_TRUE(load(read, shared, &why)) << why;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_GT(read.begin()->first.size(), 3'000'000u);
    EXPECT_EQ(read.begin()->first, read.begin()->second);

    const std::vector<std::uint8_t> copies = MoFileBuilder::sharedText(4 * 1024 * 1024, true);
    Map refused = {{"kept", "as is"}};
    EXPECT_FALSE(load(refused, copies, &why));
    EXPECT_NE(why.find("overlap"), std::string::npos) << why;
    EXPECT_EQ(refused, (Map{{"kept", "as is"}}));

    // The same shape at a size where the copies are affordable loads whole.
    Map small;
    ASSERT_TRUE(load(small, MoFileBuilder::sharedText(2048, true), &why)) << why;
    EXPECT_EQ(small.size(), 32u);
}

// Translations in another charset arrive in UTF-8; a text that is not valid
// in its charset stays untranslated, and a charset without a converter loads
// nothing rather than bytes the library cannot show.
TEST(CatalogueReader, TranslationsAreConvertedToUtf8)
{
    MoFileBuilder latin1;
    latin1.add("", "Content-Type: text/plain; charset=ISO-8859-1\n")
        .add("Coffee", "Caf\xe9")
        .add("Cancel", "Annuler");
    Map read;
    std::string why;
    ASSERT_TRUE(load(read, latin1.build(), &why)) << why;
    EXPECT_EQ(read, (Map{{"Coffee", "Caf\xc3\xa9"}, {"Cancel", "Annuler"}}));

    MoFileBuilder eucJp(true);
    eucJp.add("", "Project-Id-Version: x\nContent-Type: text/plain; charset=EUC-JP\n")
        .add("Yes", "\xa4\xcf\xa4\xa4")
        .add("Broken", "\xa4");
    read.clear();
    ASSERT_TRUE(load(read, eucJp.build(), &why)) << why;
    EXPECT_EQ(read, (Map{{"Yes", "\xe3\x81\xaf\xe3\x81\x84"}}));

    // The placeholder of an unfilled template, and no header at all, take
    // the bytes as they stand.
    const char* const headers[] = {"Content-Type: text/plain; charset=CHARSET\n", nullptr};
    for (const char* header : headers) {
        MoFileBuilder plain;
        if (header)
            plain.add("", header);
        plain.add("Coffee", "Caf\xc3\xa9");
        read.clear();
        ASSERT_TRUE(load(read, plain.build(), &why)) << why;
        EXPECT_EQ(read["Coffee"], "Caf\xc3\xa9");
    }

    MoFileBuilder unknown;
    unknown.add("", "Content-Type: text/plain; charset=NO-SUCH-CHARSET\n").add("Coffee", "Caf\xe9");
    read.clear();
    EXPECT_FALSE(load(read, unknown.build(), &why));
    EXPECT_NE(why.find("NO-SUCH-CHARSET"), std::string::npos) << why;
    EXPECT_TRUE(read.empty());
}

TEST(CatalogueLocale, CodesFromLanguageNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ja", "JPN"}, {"JP_jp", "JPN"}, {"Fr", "FRA"}, {"de_DE.UTF-8", "DEU"}, {"iT", "ITA"},
        {"es", "SPA"}, {"SPA", "SPA"}, {"pt", "ENG"}, {"e", "ENG"}, {"", "ENG"}, {nullptr, "ENG"},
    };
    for (const auto& [language, code] : cases)
        EXPECT_STREQ(GetTextLoader::getLocaleIdentifier(language), code) << (language ? language : "null");
}

class CatalogueBundle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_resources = std::filesystem::temp_directory_path() / "gp-catalogue-bundle" / "Resources";
        std::filesystem::remove_all(m_resources.parent_path());
        for (const char* localization : {"DEU", "ENG", "FRA"})
            std::filesystem::create_directories(m_resources / (std::string(localization) + ".lproj"));
        for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            unsetenv(variable);
    }
    void TearDown() override { std::filesystem::remove_all(m_resources.parent_path()); }

    void write(const std::string& relative, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream(m_resources / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path m_resources;
};

TEST_F(CatalogueBundle, ChoosesTheLocalizationOfTheUsersLanguage)
{
    using QV::GP::DETAIL::chooseLocaleCode;
    const std::string resources = m_resources.string();
    EXPECT_EQ(chooseLocaleCode(resources, nullptr), "ENG");
    setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_EQ(chooseLocaleCode(resources, ""), "DEU");
    // LANGUAGE comes first; a language the bundle lacks is passed over.
    setenv("LANGUAGE", "ja:fr_CA", 1);
    EXPECT_EQ(chooseLocaleCode(resources, nullptr), "FRA");
    setenv("LC_ALL", "C", 1);
    unsetenv("LANGUAGE");
    EXPECT_EQ(chooseLocaleCode(resources, nullptr), "ENG");
    // A locale given by the caller wins over the user's languages.
    EXPECT_EQ(chooseLocaleCode(resources, "it"), "ITA");
    // Without a bundle only a given locale counts.
    EXPECT_EQ(chooseLocaleCode("", nullptr), "");
    EXPECT_EQ(chooseLocaleCode("", "sp"), "SPA");
}

TEST_F(CatalogueBundle, LoadsTheCatalogueOfTheLocaleFolder)
{
    using QV::GP::DETAIL::loadLocaleDomainFrom;
    write("FRA.lproj/lib.mo", sample(true).build());
    std::vector<std::uint8_t> damaged = sample(false).build();
    damaged.resize(damaged.size() / 2);
    write("DEU.lproj/lib.mo", damaged);

    Map read;
    EXPECT_TRUE(loadLocaleDomainFrom(m_resources.string(), read, "lib", "FRA"));
    EXPECT_EQ(read["Cancel"], "Annuler");
    Map none;
    EXPECT_FALSE(loadLocaleDomainFrom(m_resources.string(), none, "lib", "ENG"));
    EXPECT_FALSE(loadLocaleDomainFrom(m_resources.string(), none, "lib", "ITA"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadLocaleDomainFrom(m_resources.string(), none, "lib", "DEU"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("DEU.lproj/lib.mo"), std::string::npos) << said;
    EXPECT_NE(said.find("runs past the end"), std::string::npos) << said;
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(loadLocaleDomainFrom(m_resources.string(), none, "lib", std::string(5000, 'x').c_str()));
}

TEST(CatalogueDomain, LooksTextsUpByContent)
{
    GetTextDomain domain(Map{{"OK", "D'accord"}});
    char key[8] = "OK";
    const std::string& first = domain.get(key);
    EXPECT_EQ(first, "D'accord");
    // The same buffer now holds another text: its own translation comes back.
    std::snprintf(key, sizeof key, "Cancel");
    EXPECT_EQ(domain.get(key), "Cancel");
    // Two pointers with equal text give equal texts, and a text handed out
    // stays where it is.
    const std::string other = "OK";
    EXPECT_EQ(&domain.get(other.c_str()), &first);
    EXPECT_EQ(domain.get(nullptr), "");
}

TEST(CatalogueDomain, LibraryDomainBeforeALocaleTranslatesNothing)
{
    ASSERT_FALSE(GetTextLoader::isLocaleChosen());
    QV::GP::GetTextDomain& domain = QV::GP::GetLibraryTextDomain();
    EXPECT_EQ(&domain, &QV::GP::GetLibraryTextDomain());
    EXPECT_EQ(domain.translationCount(), 0u);
    EXPECT_EQ(domain.get("Cancel"), "Cancel");
}

} // namespace

namespace {

// The test program does not run from an application folder: only a locale
// given by the caller counts, and without one no locale is chosen.
TEST(CatalogueLocale, WithoutABundleOnlyAGivenLocaleCounts)
{
    GetTextLoader::initLocale(nullptr);
    EXPECT_STREQ(GetTextLoader::s_Locale, "\x01");
    EXPECT_FALSE(GetTextLoader::isLocaleChosen());
    GetTextLoader::initLocale("de_CH");
    EXPECT_STREQ(GetTextLoader::s_Locale, "DEU");
    EXPECT_TRUE(GetTextLoader::isLocaleChosen());
    Map none;
    EXPECT_FALSE(GetTextLoader::loadLocaleDomain(none, "lib", GetTextLoader::s_Locale));
    GetTextLoader::s_Locale[0] = '\0';
}

} // namespace
