// Container files: metadata blocks, the chain of tables of contents, items by
// name and by id, subpaths, damaged containers, and containers split over
// part files read back through the multi-part and item storages.
#include "ContainerBuilder.h"

#include <QV/GP/FileContainer.h>
#include <QV/GP/FileContainerItemStorage.h>
#include <QV/GP/FileContainerStorage.h>
#include <QV/GP/FileManager.h>
#include <QV/GP/FileName.h>
#include <QV/GP/FileStream.h>

#include <TemporaryFolder.h>

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <tuple>

namespace {

using namespace QV::GP;
using QV::GP::Testing::ContainerBuilder;
using QV::GP::Testing::ContainerItem;
using QV::GP::Testing::ContainerToc;
using QV::GP::Testing::writeParts;
using QV::TestSupport::TemporaryFolder;

class ContainerTest : public ::testing::Test
{
protected:
    // The colon form of a file in the test's folder, with a subpath.
    std::string nameOf(const std::string& file, const std::string& subpath = {}) const
    {
        return FileName(boost::filesystem::path((m_folder.path() / file).string())).getFull() + subpath;
    }
    void write(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& cuts = {},
               const std::string& base = "pack")
    {
        writeParts(m_folder.path(), base, "ctr", bytes, cuts);
    }
    // The whole item that a subpath names, or "<none>".
    std::string readItem(const std::string& subpath, const std::string& file = "pack.ctr")
    {
        FileContainerItemStorage item;
        if (!item.open(FileName(nameOf(file, subpath)), IStorage::eAccessRead))
            return "<none>";
        std::string text(static_cast<std::size_t>(item.getLength()), '\0');
        if (item.read(text.data(), text.size()) != text.size())
            return "<short>";
        return text;
    }

    TemporaryFolder m_folder{"gp-container"};
};

ContainerToc tocOf(std::uint32_t version, bool mapping, std::vector<ContainerItem> items)
{
    ContainerToc toc;
    toc.version = version;
    toc.mapping = mapping;
    toc.items = std::move(items);
    return toc;
}

TEST_F(ContainerTest, ItemsAreFoundByNameAndIdInBothTableVersionsWithAndWithoutMapping)
{
    for (const std::uint32_t version : {0u, 1u})
    {
        for (const bool mapping : {false, true})
        {
            ContainerBuilder builder;
            builder.description("Skin").descriptor(7, 1).toc(tocOf(
                version, mapping,
                {{"logo.png", 30, 1, "PNG-BYTES"}, {"style.txt", 10, 1, "body{}"}, {"font.ttf", 20, 2, "TTF!"}}));
            write(builder.bytes());
            SCOPED_TRACE(::testing::Message() << "version " << version << " mapping " << mapping);
            EXPECT_EQ(readItem("<style.txt"), "body{}");
            EXPECT_EQ(readItem("<logo.png"), "PNG-BYTES");
            EXPECT_EQ(readItem("<<20>"), "TTF!");
            EXPECT_EQ(readItem("<<30>"), "PNG-BYTES");
            EXPECT_EQ(readItem("<<11>"), "<none>");
            EXPECT_EQ(readItem("<Style.txt"), "<none>") << "names are compared with case";

            FileContainerStorage container;
            ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
            EXPECT_EQ(container.getDescription(), "");
            ASSERT_EQ(container.getTocs().size(), 1u);
            EXPECT_EQ(container.getTocs()[0].version, version);
            FileContainerParser::tContentParseInfo info;
            ASSERT_TRUE(container.getContentInfoOfItem(20, FileContainer::kAnyVersion, info));
            EXPECT_EQ(info.name, "font.ttf");
            EXPECT_EQ(info.version, 2u);
            EXPECT_EQ(info.values[0], 0x1111000000000002ull);
            EXPECT_EQ(info.values[1], 0x2222000000000002ull);
            EXPECT_FALSE(container.getContentInfoOfItem(20, 1, info)) << "only version 2 exists";
        }
    }
}

TEST_F(ContainerTest, VersionsPickTheHighestOrTheOneAskedForAndEarlierTablesWinTies)
{
    ContainerBuilder builder;
    builder.toc(tocOf(0, false, {{"a", 5, 3, "three"}, {"a", 5, 5, "five"}, {"b", 6, 1, "first"}}))
        .toc(tocOf(0, false, {{"a", 5, 4, "four"}, {"b", 6, 1, "second"}}));
    write(builder.bytes());
    EXPECT_EQ(readItem("<<5>"), "five");
    EXPECT_EQ(readItem("<a"), "five");
    EXPECT_EQ(readItem("<<6>"), "first") << "equal versions keep the earlier table's item";
    FileContainerStorage container;
    ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
    EXPECT_TRUE(container.getAvailableContentTocs());
    EXPECT_EQ(container.getTocs().size(), 2u) << "reading the chain again replaces the list";
    FileContentRange range;
    ASSERT_TRUE(container.getContentRangeOfItem(5, 3, range));
    EXPECT_EQ(range.length, 5);
    ASSERT_TRUE(container.getContentRangeOfItem(5, 4, range));
    EXPECT_EQ(range.length, 4);
    EXPECT_FALSE(container.getContentRangeOfItem(5, 9, range));
}

TEST_F(ContainerTest, MetadataOnlyFilesAndFilesThatStartWithATableAreContainers)
{
    ContainerBuilder metadataOnly;
    metadataOnly.description("Only metadata").otherBlock(9, 40).descriptor(1, 1);
    write(metadataOnly.bytes());
    std::vector<FileContainer::tMetaHeader> headers;
    EXPECT_TRUE(FileContainer::isContainerFile(FileName(nameOf("pack.ctr")), &headers));
    EXPECT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[0].description(), "Only metadata");
    {
        FileContainerStorage container;
        ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
        EXPECT_TRUE(container.getAvailableContentTocs());
        EXPECT_TRUE(container.getTocs().empty());
        FileContainerParser::tContentParseInfo info;
        EXPECT_FALSE(container.getContentInfoOfItem(1, FileContainer::kAnyVersion, info));
    }

    ContainerBuilder tableFirst;
    tableFirst.toc(tocOf(1, false, {{"x", 1, 1, "X"}}));
    write(tableFirst.bytes());
    EXPECT_TRUE(FileContainer::isContainerFile(FileName(nameOf("pack.ctr")), &headers));
    EXPECT_TRUE(headers.empty());
    EXPECT_EQ(readItem("<x"), "X");

    write({'p', 'l', 'a', 'i', 'n'});
    EXPECT_FALSE(FileContainer::isContainerFile(FileName(nameOf("pack.ctr")), &headers));
    EXPECT_EQ(readItem("<x"), "<none>");
    FileContainerStorage plain;
    EXPECT_TRUE(plain.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead)) << "a plain file opens without items";
}

TEST_F(ContainerTest, SubpathsNameOneElementByNameOrByIdAndAnythingElseFails)
{
    ContainerBuilder builder;
    builder.toc(tocOf(0, false, {{"seven", 7, 1, "SEVEN"}, {"empty", 8, 1, ""}, {"after", 9, 1, "A"}}));
    write(builder.bytes());
    EXPECT_EQ(readItem("<<7>"), "SEVEN");
    for (const char* bad : {"<<>", "<<7", "<<x>", "<<99999999999>", "<<7>junk", "<seven<seven", "<empty"})
        EXPECT_EQ(readItem(bad), "<none>") << bad;

    FileContainerStorage container;
    ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr", "<seven")), IStorage::eAccessRead));
    EXPECT_EQ(container.getCurrentSubpath(), "</\\/\\<seven");
    EXPECT_FALSE(container.openContentFromSubpath("seven", FileContainer::kAnyVersion)) << "no leading '<'";
    EXPECT_EQ(container.getCurrentSubpath(), "");
    EXPECT_EQ(container.getOpenedItem(), nullptr);

    FileContainerItemStorage item;
    EXPECT_FALSE(item.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead)) << "no subpath, no item";
    EXPECT_FALSE(item.isOpen());
}

TEST_F(ContainerTest, FileManagerAndStreamsReachItemsThroughSubpaths)
{
    ContainerBuilder builder;
    builder.descriptor(0, 2).toc(tocOf(0, true, {{"style.txt", 4, 1, "abcd\x01\x02\x03\x04"}}));
    write(builder.bytes(), {700});
    EXPECT_TRUE(FileManager::existsFile(FileName(nameOf("pack.ctr", "<style.txt"))));
    EXPECT_TRUE(FileManager::existsFile(FileName(nameOf("pack.ctr", "<<4>"))));
    EXPECT_FALSE(FileManager::existsFile(FileName(nameOf("pack.ctr", "<missing"))));
    EXPECT_FALSE(FileManager::existsFile(FileName(nameOf("absent.ctr", "<style.txt"))));
    EXPECT_EQ(FileManager::getFileSize(FileName(nameOf("pack.ctr", "<style.txt"))), 8u);
    EXPECT_EQ(FileManager::getFileSize(FileName(nameOf("pack.ctr", "<missing"))), 0u);

    FileStream stream;
    ASSERT_TRUE(stream.getItemStorage().open(FileName(nameOf("pack.ctr", "<style.txt")), IStorage::eAccessRead));
    stream.setStorage(&stream.getItemStorage());
    stream.readU32();
    EXPECT_EQ(stream.readU32(), 0x04030201u);
    stream.readU8();
    EXPECT_EQ(stream.getItemStorage().getState(), IStorage::eStateError) << "the item ends where the next would start";
}

TEST_F(ContainerTest, DamagedContainersAreRefusedWithoutReadingOutsideThem)
{
    ContainerBuilder good;
    good.description("d").toc(tocOf(0, true, {{"a", 1, 1, "AAAA"}, {"b", 2, 1, "BBBB"}}));
    const std::vector<std::uint8_t> bytes = good.bytes();
    const std::size_t toc = 256;
    const std::size_t mapping = toc + 160;
    const std::size_t entries = mapping + 16;

    // Every cut of the file: nothing is read beyond it, and what opens reads
    // back only whole items.
    for (std::size_t size = 0; size < bytes.size(); size += 7)
    {
        write(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        const std::string a = readItem("<a");
        EXPECT_TRUE(a == "<none>" || a == "AAAA") << size;
    }

    const auto damaged = [&](const std::function<void(std::vector<std::uint8_t>&)>& damage) {
        std::vector<std::uint8_t> copy = bytes;
        damage(copy);
        write(copy);
    };
    // A count that claims more entries than the file holds.
    damaged([&](auto& b) { ContainerBuilder::put32(b, toc + 16, 0xFFFFFFF0u); });
    EXPECT_EQ(readItem("<a"), "<none>");
    // A data length that would wrap the position back to the table itself.
    damaged([&](auto& b) { ContainerBuilder::put64(b, toc + 24, ~0ull - 500); });
    EXPECT_EQ(readItem("<a"), "<none>");
    damaged([&](auto& b) { ContainerBuilder::put64(b, toc + 24, 1ull << 62); });
    EXPECT_EQ(readItem("<a"), "<none>");
    // An item offset beyond the data area, and one after the item behind it.
    damaged([&](auto& b) { ContainerBuilder::put64(b, entries + 160, 100); });
    EXPECT_EQ(readItem("<b"), "<none>");
    EXPECT_EQ(readItem("<a"), "<none>") << "a's end lies beyond the data area";
    damaged([&](auto& b) { ContainerBuilder::put64(b, entries, 6); });
    EXPECT_EQ(readItem("<a"), "<none>") << "an end below the start must not wrap";
    // A mapping entry index beyond the table.
    damaged([&](auto& b) { ContainerBuilder::put32(b, mapping, 77); });
    EXPECT_EQ(readItem("<<1>"), "<none>");
    EXPECT_EQ(readItem("<<2>"), "BBBB");
    // A name without its terminator ends with its field.
    damaged([&](auto& b) {
        for (std::size_t i = entries + 32; i < entries + 160; i += 2)
            b[i] = 'n';
    });
    FileContainerStorage container;
    ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
    FileContainerParser::tContentParseInfo info;
    ASSERT_TRUE(container.getContentInfoOfItem(1, FileContainer::kAnyVersion, info));
    EXPECT_EQ(info.name, std::string(64, 'n'));
    // A descriptor that claims more parts than there can be.
    ContainerBuilder lying;
    lying.descriptor(0, 0xFFFFFFFFu).toc(tocOf(0, false, {{"a", 1, 1, "AAAA"}}));
    write(lying.bytes());
    EXPECT_EQ(readItem("<a"), "<none>");
    // A table whose header mark is broken after a good one.
    ContainerBuilder chain;
    chain.toc(tocOf(0, false, {{"a", 1, 1, "AAAA"}})).toc(tocOf(0, false, {{"b", 2, 1, "BBBB"}}));
    std::vector<std::uint8_t> broken = chain.bytes();
    broken[broken.size() - 4 - 3 * 160 + 40] = 'X';
    write(broken);
    EXPECT_EQ(readItem("<b"), "<none>");
}

TEST_F(ContainerTest, MappingTablesAreSearchedByHalvingAndEmptyOnesNotAtAll)
{
    std::vector<ContainerItem> items;
    for (std::uint32_t id = 1; id <= 9; ++id)
        items.push_back({"i" + std::to_string(id), id * 10, 1, std::string(id, 'x')});
    ContainerBuilder builder;
    builder.toc(tocOf(0, true, {})).toc(tocOf(0, true, items));
    write(builder.bytes());
    for (std::uint32_t id = 1; id <= 9; ++id)
        EXPECT_EQ(readItem("<<" + std::to_string(id * 10) + ">"), std::string(id, 'x'));
    EXPECT_EQ(readItem("<<55>"), "<none>");
    EXPECT_EQ(readItem("<<0>"), "<none>");
    EXPECT_EQ(readItem("<<4294967295>"), "<none>");
}

TEST_F(ContainerTest, PartsAreNamedFromTheFileNameAndItsOwnExtension)
{
    // A '.' in a folder name is no extension.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"Data:Res:skin.bin", 0, "Data:Res:skin.bin"}, {"Data:Res:skin.bin", 2, "Data:Res:skin.part2"},
        {"Data:v1.2:skin", 0, "Data:v1.2:skin"}, {"Data:v1.2:skin", 1, "Data:v1.2:skin.part1"}};
    for (const auto& [root, part, path] : cases)
    {
        FileContainerStorage container;
        container.setRootFilePath(root);
        EXPECT_EQ(container.getPartFilePath(part), path) << root << " part " << part;
    }
}

TEST_F(ContainerTest, ReadsCrossPartsStopAtTheLastAndNeverWrapToTheFirst)
{
    ContainerBuilder builder;
    builder.descriptor(0, 3).toc(tocOf(0, false, {{"a", 1, 1, "0123456789"}}));
    std::vector<std::uint8_t> bytes = builder.bytes();
    write(bytes, {300, 100});
    FileContainerStorage container;
    ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
    EXPECT_EQ(container.getCurrentStorageSize(), static_cast<long long>(bytes.size()));

    std::vector<std::uint8_t> got(400);
    ASSERT_EQ(container.read(got.data(), 296), 296u);
    EXPECT_EQ(container.read(got.data(), 4), 4u) << "ends exactly at the end of part 0";
    EXPECT_EQ(container.getState(), IStorage::eStateOpen) << "data follows in part 1";
    EXPECT_EQ(container.read(got.data(), 10), 10u) << "the next read goes on in part 1";
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10, bytes.begin() + 300));
    EXPECT_EQ(container.getPos64(), 310);

    ASSERT_TRUE(container.seek64(5, IStorage::eSeekFromEnd));
    EXPECT_EQ(container.getPos64(), static_cast<long long>(bytes.size()) - 5);
    EXPECT_EQ(container.read(got.data(), 10), 5u);
    EXPECT_EQ(container.getState(), IStorage::eStateError);
    EXPECT_EQ(container.read(got.data(), 10), 0u) << "refused until a seek, never restarting at part 0";
    ASSERT_TRUE(container.seek64(0, IStorage::eSeekFromEnd));
    EXPECT_EQ(container.getState(), IStorage::eStateEndOfFile);
    ASSERT_TRUE(container.seek64(-3, IStorage::eSeekFromCurrent));
    EXPECT_EQ(container.read(got.data(), 3), 3u);
    EXPECT_EQ(container.getState(), IStorage::eStateEndOfFile) << "the last byte of the last part";
    EXPECT_FALSE(container.seek64(static_cast<long long>(bytes.size()) + 1, IStorage::eSeekFromStart));
    EXPECT_EQ(container.getState(), IStorage::eStateError);

    // A missing last part makes the container's data incomplete.
    std::filesystem::remove(m_folder.path() / "pack.part2");
    FileContainerStorage incomplete;
    EXPECT_FALSE(incomplete.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
}

TEST_F(ContainerTest, RandomContainersSplitAtRandomSizesReadBackByteForByte)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 16; ++round)
    {
        ContainerBuilder builder;
        const int tables = 1 + static_cast<int>(random() % 3);
        std::vector<ContainerItem> all;
        std::uint32_t id = 1;
        for (int t = 0; t < tables; ++t)
        {
            std::vector<ContainerItem> items;
            const int count = 1 + static_cast<int>(random() % 6);
            for (int i = 0; i < count; ++i, ++id)
            {
                std::string data(1 + random() % 700, '\0');
                for (char& c : data)
                    c = static_cast<char>(random());
                items.push_back({"item" + std::to_string(id), id, 1, data});
            }
            all.insert(all.end(), items.begin(), items.end());
            // The entry that ends a table holds 0 or the data length: either
            // way the table's last item runs to the end of its data area and
            // not into the table after it.
            ContainerToc toc = tocOf(random() % 2, random() % 2 == 0, items);
            toc.endOffsetIsLength = random() % 2 == 0;
            builder.toc(toc);
        }
        std::vector<std::size_t> cuts;
        const std::size_t partCount = 1 + random() % 5;
        std::size_t left = builder.size() + 256;
        for (std::size_t p = 1; p < partCount && left > 1; ++p)
        {
            cuts.push_back(1 + random() % std::min<std::size_t>(left - 1, 2000));
            left -= cuts.back();
        }
        ContainerBuilder whole;
        whole.descriptor(0, static_cast<std::uint32_t>(cuts.size() + 1));
        whole.raw(builder.bytes());
        if (!cuts.empty() && cuts[0] < 256)
            cuts[0] = 256; // part 0 holds the descriptor that counts the parts
        std::size_t sum = 0;
        for (std::size_t& cut : cuts)
        {
            cut = std::min(cut, whole.size() - sum - 1);
            sum += cut;
        }
        write(whole.bytes(), cuts);
        SCOPED_TRACE(::testing::Message() << "round " << round);

        for (const ContainerItem& item : all)
        {
            EXPECT_EQ(readItem("<" + item.name), item.data);
            EXPECT_EQ(readItem("<<" + std::to_string(item.id) + ">"), item.data);
        }
        // The whole address space read in pieces of random sizes.
        FileContainerStorage container;
        ASSERT_TRUE(container.open(FileName(nameOf("pack.ctr")), IStorage::eAccessRead));
        std::vector<std::uint8_t> read;
        std::vector<std::uint8_t> piece(1500);
        for (;;)
        {
            const std::size_t got = container.read(piece.data(), 1 + random() % piece.size());
            read.insert(read.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
            if (container.getState() != IStorage::eStateOpen)
                break;
        }
        EXPECT_EQ(read, whole.bytes());
    }
}

TEST_F(ContainerTest, WritingSplitsIntoPartsAndTheDescriptorNeverOverwritesATable)
{
    const std::string name = nameOf("new.ctr");
    ContainerBuilder tables;
    tables.toc(tocOf(0, false, {{"big", 1, 1, std::string(520, 'b')}}));
    const std::vector<std::uint8_t>& data = tables.bytes();
    ASSERT_EQ(data.size(), 1000u);
    {
        FileContainerStorage container;
        ASSERT_TRUE(container.open(FileName(name), IStorage::eAccessReadWrite, false, 400));
        ASSERT_TRUE(container.seek64(256, IStorage::eSeekFromStart));
        EXPECT_EQ(container.write(data.data(), data.size()), data.size());
    }
    EXPECT_EQ(std::filesystem::file_size(m_folder.path() / "new.ctr"), 400u);
    EXPECT_EQ(std::filesystem::file_size(m_folder.path() / "new.part3"), 56u);
    std::vector<FileContainer::tMetaHeader> headers;
    ASSERT_TRUE(FileContainer::isContainerFile(FileName(name), &headers));
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].partCount(), 4u);
    FileContainerStorage reader;
    ASSERT_TRUE(reader.open(FileName(name), IStorage::eAccessRead));
    std::vector<std::uint8_t> back(1000);
    ASSERT_TRUE(reader.seek64(256, IStorage::eSeekFromStart));
    EXPECT_EQ(reader.read(back.data(), back.size()), back.size());
    EXPECT_EQ(back, data);
    EXPECT_EQ(readItem("<big", "new.ctr"), std::string(520, 'b'));
    {
        // The descriptor is rewritten where it stands, with the new value.
        FileContainerStorage writer;
        ASSERT_TRUE(writer.open(FileName(name), IStorage::eAccessReadWrite, false, 400));
        EXPECT_TRUE(writer.updateMetadata(9, "ignored without a description block"));
    }
    ASSERT_TRUE(FileContainer::isContainerFile(FileName(name), &headers));
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].descriptorValue(), 9u);
    EXPECT_EQ(headers[0].partCount(), 4u);
    EXPECT_EQ(readItem("<big", "new.ctr"), std::string(520, 'b'));

    // A description after another block is written back in its own place.
    ContainerBuilder described;
    described.otherBlock(9, 20).description("old").descriptor(3, 1).toc(tocOf(0, false, {{"a", 1, 1, "AAAA"}}));
    write(described.bytes());
    {
        FileContainerStorage writer;
        ASSERT_TRUE(writer.open(FileName(nameOf("pack.ctr")), IStorage::eAccessReadWrite));
        EXPECT_TRUE(writer.updateMetadata(FileContainer::kKeepDescriptorValue, "New name"));
        EXPECT_EQ(writer.getDescription(), "New name");
    }
    ASSERT_TRUE(FileContainer::isContainerFile(FileName(nameOf("pack.ctr")), &headers));
    ASSERT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[1].description(), "New name");
    EXPECT_EQ(headers[2].descriptorValue(), 3u);
    EXPECT_EQ(readItem("<a"), "AAAA");

    // A description followed at once by a table: a new descriptor has no
    // room, and opening for writing is refused with the file unchanged.
    ContainerBuilder builder;
    builder.description("keep").toc(tocOf(0, false, {{"a", 1, 1, "AAAA"}}));
    write(builder.bytes());
    FileContainerStorage writer;
    EXPECT_FALSE(writer.open(FileName(nameOf("pack.ctr")), IStorage::eAccessReadWrite));
    EXPECT_EQ(readItem("<a"), "AAAA");
    std::ifstream in(m_folder.path() / "pack.ctr", std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}), builder.bytes());
}

} // namespace
