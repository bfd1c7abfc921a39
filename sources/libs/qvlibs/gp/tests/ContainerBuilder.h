// Writes container files for the tests: there is no other program that makes
// them. The builder lays out metadata blocks and tables of contents exactly
// as readers expect them, and can split the result over part files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace QV::GP::Testing {

struct ContainerItem
{
    std::string name; // ASCII, put into the entry as UTF-16
    std::uint32_t id = 0;
    std::uint32_t version = 0;
    std::string data;
};

struct ContainerToc
{
    std::uint32_t version = 0; // 1 gives 640-byte headers and entries
    bool mapping = false;      // a table of (entry index, id) sorted by id
    // The entry that ends the table holds the data length instead of 0.
    bool endOffsetIsLength = false;
    std::vector<ContainerItem> items;
};

class ContainerBuilder
{
public:
    ContainerBuilder& description(const std::string& text, std::uint32_t extra = 0)
    {
        std::vector<std::uint8_t> block = metaBlock(1, extra);
        for (std::size_t i = 0; i < text.size() && i < 32; ++i)
            block[66 + 2 * i] = static_cast<std::uint8_t>(text[i]);
        append(block);
        m_bytes.resize(m_bytes.size() + extra, 0xEE);
        return *this;
    }
    ContainerBuilder& descriptor(std::uint32_t value, std::uint32_t parts)
    {
        std::vector<std::uint8_t> block = metaBlock(2, 0);
        put32(block, 136, value);
        put32(block, 144, parts);
        append(block);
        return *this;
    }
    ContainerBuilder& otherBlock(std::uint32_t kind, std::uint32_t extra)
    {
        append(metaBlock(kind, extra));
        m_bytes.resize(m_bytes.size() + extra, 0xDD);
        return *this;
    }
    ContainerBuilder& toc(const ContainerToc& toc)
    {
        const std::size_t h = toc.version == 1 ? 640 : 160;
        std::string data;
        std::vector<std::uint64_t> offsets;
        for (const ContainerItem& item : toc.items)
        {
            offsets.push_back(data.size());
            data += item.data;
        }
        const auto count = static_cast<std::uint32_t>(toc.items.size());
        std::vector<std::uint8_t> header(h, 0);
        put32(header, 0, toc.version);
        for (std::size_t i = 8; i < 16; ++i)
            header[i] = 0xF0;
        put64(header, 16, count | (toc.mapping ? (1ull << 32) : 0));
        put64(header, 24, data.size());
        std::copy(kTocMagic, kTocMagic + 16, header.begin() + 32);
        append(header);
        if (toc.mapping)
        {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
            for (std::uint32_t i = 0; i < count; ++i)
                pairs.emplace_back(toc.items[i].id, i);
            std::sort(pairs.begin(), pairs.end());
            std::vector<std::uint8_t> table(8 * pairs.size());
            for (std::size_t i = 0; i < pairs.size(); ++i)
            {
                put32(table, 8 * i, pairs[i].second);
                put32(table, 8 * i + 4, pairs[i].first);
            }
            append(table);
        }
        for (std::uint32_t i = 0; i <= count; ++i)
        {
            std::vector<std::uint8_t> entry(h, 0);
            if (i < count)
            {
                const ContainerItem& item = toc.items[i];
                put64(entry, 0, offsets[i]);
                put32(entry, 8, item.id);
                put32(entry, 12, item.version);
                put64(entry, 16, 0x1111000000000000ull + i);
                put64(entry, 24, 0x2222000000000000ull + i);
                for (std::size_t c = 0; c < item.name.size() && 32 + 2 * c + 1 < h; ++c)
                    entry[32 + 2 * c] = static_cast<std::uint8_t>(item.name[c]);
            }
            else if (toc.endOffsetIsLength)
            {
                put64(entry, 0, data.size());
            }
            append(entry);
        }
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
        return *this;
    }
    ContainerBuilder& raw(const std::vector<std::uint8_t>& bytes)
    {
        append(bytes);
        return *this;
    }

    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

    // Where a table of contents of the builder begins: the caller records
    // size() before adding it.
    std::size_t size() const { return m_bytes.size(); }

    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

private:
    static constexpr char kMetaMagic[] = "/\\ QV FC MTD  /\\";
    static constexpr char kTocMagic[] = "/\\ QV FC TOC  /\\";

    static std::vector<std::uint8_t> metaBlock(std::uint32_t kind, std::uint32_t extra)
    {
        std::vector<std::uint8_t> block(256, 0);
        std::copy(kMetaMagic, kMetaMagic + 16, block.begin());
        put32(block, 132, kind);
        put32(block, 148, extra);
        return block;
    }
    void append(const std::vector<std::uint8_t>& b) { m_bytes.insert(m_bytes.end(), b.begin(), b.end()); }

    std::vector<std::uint8_t> m_bytes;
};

// Writes bytes as part files in folder: part 0 is base + "." + extension,
// part i is base + ".part" + i; each cut is the size of one part, and what
// is left after the cuts is the last part.
inline void writeParts(const std::filesystem::path& folder, const std::string& base, const std::string& extension,
                       const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& cuts = {})
{
    std::size_t at = 0;
    for (std::size_t part = 0; part <= cuts.size(); ++part)
    {
        const std::size_t size = part < cuts.size() ? cuts[part] : bytes.size() - at;
        const std::string name = part == 0 ? base + "." + extension : base + ".part" + std::to_string(part);
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data() + at), static_cast<std::streamsize>(size));
        at += size;
    }
}

} // namespace QV::GP::Testing
