// Our catalogue reader against glibc's gettext on catalogues written by GNU
// gettext's msgfmt, in both byte orders.
#include <QV/GP/GetTextDomain.h>
#include <QV/GP/GetTextLoader.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libintl.h>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Map = std::map<std::string, std::string>;

// A .po escape of arbitrary text.
std::string poString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

// Several hundred messages of the kinds a catalogue holds: plain, with
// escapes, long, non-ASCII, untranslated, fuzzy, plural and with a context.
// Returns the source texts to look up, some of them absent from the
// catalogue.
std::vector<std::string> writePo(const fs::path& path)
{
    std::ofstream po(path);
    po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
          "\"Plural-Forms: nplurals=2; plural=(n > 1);\\n\"\n\n";
    std::vector<std::string> queries;
    for (int i = 0; i < 400; ++i) {
        std::string source = "Message " + std::to_string(i);
        std::string translation = "Traduction " + std::to_string(i);
        switch (i % 8) {
        case 1: source += "\twith\t\"escapes\"\n"; translation += " \\ échappée\n"; break;
        case 2: source += std::string(300 + i, 'x'); translation += std::string(700, 'y'); break;
        case 3: source += " — Grüße"; translation = "日本語のテキスト " + std::to_string(i); break;
        case 4: translation.clear(); break;
        case 5: po << "#, fuzzy\n"; break;
        default: break;
        }
        if (i % 8 == 6) {
            po << "msgid " << poString(source) << "\nmsgid_plural " << poString(source + "s") << "\nmsgstr[0] "
               << poString(translation) << "\nmsgstr[1] " << poString(translation + "s") << "\n\n";
            queries.push_back(source + "s");
        } else if (i % 8 == 7) {
            po << "msgctxt \"menu\"\nmsgid " << poString(source) << "\nmsgstr " << poString(translation) << "\n\n";
        } else {
            po << "msgid " << poString(source) << "\nmsgstr " << poString(translation) << "\n\n";
        }
        queries.push_back(source);
        queries.push_back(source + " (absent)");
    }
    return queries;
}

void msgfmt(const fs::path& po, const fs::path& mo, const char* endianness)
{
    fs::create_directories(mo.parent_path());
    const std::string command = std::string("msgfmt --endianness=") + endianness + " -o '" + mo.string() +
                                "' '" + po.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

Map readCatalogue(const fs::path& mo)
{
    std::ifstream in(mo, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Map read;
    std::string why;
    EXPECT_TRUE(QV::GP::GetTextLoader::loadDomain(read, bytes.data(), bytes.size(), &why)) << why;
    return read;
}

TEST(CataloguePeer, LookupsMatchGlibcGettextInBothByteOrders)
{
    const fs::path root = fs::temp_directory_path() / "gp-catalogue-peer";
    fs::remove_all(root);
    fs::create_directories(root);
    const std::vector<std::string> queries = writePo(root / "peer.po");
    ASSERT_GE(queries.size(), 800u);

    // glibc reads <dir>/<language>/LC_MESSAGES/<domain>.mo. It ignores
    // LANGUAGE in the plain C locale, but not in C.UTF-8.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    setenv("LANGUAGE", "fr", 1);
    for (const char* endianness : {"little", "big"}) {
        const std::string domainName = std::string("gppeer") + endianness;
        const fs::path mo = root / "fr" / "LC_MESSAGES" / (domainName + ".mo");
        msgfmt(root / "peer.po", mo, endianness);
        bindtextdomain(domainName.c_str(), root.c_str());
        bind_textdomain_codeset(domainName.c_str(), "UTF-8");

        QV::GP::GetTextDomain domain(readCatalogue(mo));
        ASSERT_GT(domain.translationCount(), 200u);
        int translated = 0;
        for (const std::string& query : queries) {
            const std::string theirs = dgettext(domainName.c_str(), query.c_str());
            EXPECT_EQ(domain.get(query.c_str()), theirs) << endianness << ": " << query;
            translated += theirs != query;
        }
        EXPECT_GT(translated, 200) << "glibc translated too little for the comparison to mean much";
    }
    fs::remove_all(root);
}

// Catalogues written by msgfmt in the charsets of older translations: glibc
// converts them to UTF-8 on load, and so must we.
TEST(CataloguePeer, CataloguesInOtherCharsetsMatchGlibcGettext)
{
    struct Case
    {
        const char* charset;
        const char* language;
        std::vector<std::pair<std::string, std::string>> messages;  // in UTF-8
    };
    const std::vector<Case> cases = {
        {"ISO-8859-1", "fr", {{"Cancel", "Annuler"}, {"Coffee", "Café à emporter"}, {"Yes", "Oui, ça va"}}},
        {"EUC-JP", "ja", {{"Cancel", "キャンセル"}, {"Yes", "はい"}, {"Open file", "ファイルを開く"}}},
        {"KOI8-R", "ru", {{"Cancel", "Отмена"}, {"Yes", "Да"}, {"Open file", "Открыть файл"}}},
    };
    const fs::path root = fs::temp_directory_path() / "gp-catalogue-peer-charsets";
    fs::remove_all(root);
    fs::create_directories(root);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);

    for (const Case& c : cases) {
        const fs::path utf8Po = root / (std::string(c.language) + ".utf8.po");
        {
            std::ofstream po(utf8Po);
            po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
            for (const auto& [source, translation] : c.messages)
                po << "msgid " << poString(source) << "\nmsgstr " << poString(translation) << "\n\n";
        }
        // msgconv rewrites both the texts and the header's charset.
        const fs::path po = root / (std::string(c.language) + ".po");
        const std::string convert = std::string("msgconv --to-code=") + c.charset + " -o '" + po.string() + "' '" +
                                    utf8Po.string() + "'";
        ASSERT_EQ(std::system(convert.c_str()), 0) << convert;
        const std::string domainName = std::string("gppeer-") + c.language;
        const fs::path mo = root / c.language / "LC_MESSAGES" / (domainName + ".mo");
        msgfmt(po, mo, "little");
        std::ifstream in(mo, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(bytes.find(c.messages[1].second), std::string::npos)
            << c.charset << ": the catalogue holds the UTF-8 text, so it proves nothing";

        setenv("LANGUAGE", c.language, 1);
        bindtextdomain(domainName.c_str(), root.c_str());
        bind_textdomain_codeset(domainName.c_str(), "UTF-8");
        QV::GP::GetTextDomain domain(readCatalogue(mo));
        for (const auto& [source, translation] : c.messages) {
            EXPECT_EQ(dgettext(domainName.c_str(), source.c_str()), translation) << c.charset;
            EXPECT_EQ(domain.get(source.c_str()), translation) << c.charset;
        }
    }
    fs::remove_all(root);
}

} // namespace
