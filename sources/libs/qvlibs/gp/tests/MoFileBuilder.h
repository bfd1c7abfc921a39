#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace QV::GP::Testing {

// Writes catalogues in the GNU .mo layout, in either byte order, including
// ones msgfmt would refuse to write (two entries with the same source text).
// Layout: the 28-byte header, the table of source texts, the table of
// translations, then the texts, each followed by a NUL.
class MoFileBuilder
{
public:
    static constexpr std::uint32_t kHeaderSize = 28;

    explicit MoFileBuilder(bool bigEndian = false) : m_bigEndian(bigEndian) {}

    MoFileBuilder& add(std::string source, std::string translation)
    {
        m_entries.emplace_back(std::move(source), std::move(translation));
        return *this;
    }

    std::uint32_t sourceTable() const { return kHeaderSize; }
    std::uint32_t translationTable() const { return kHeaderSize + 8 * count(); }
    std::uint32_t count() const { return static_cast<std::uint32_t>(m_entries.size()); }

    std::vector<std::uint8_t> build() const
    {
        std::vector<std::uint8_t> bytes(translationTable() + 8 * count());
        put(bytes, 0, 0x950412de);
        put(bytes, 4, 0);
        put(bytes, 8, count());
        put(bytes, 12, sourceTable());
        put(bytes, 16, translationTable());
        for (std::uint32_t i = 0; i < count(); ++i) {
            placeText(bytes, sourceTable() + 8 * i, m_entries[i].first);
            placeText(bytes, translationTable() + 8 * i, m_entries[i].second);
        }
        return bytes;
    }

    // Overwrites one 32-bit word of a built catalogue in the builder's order.
    void put(std::vector<std::uint8_t>& bytes, std::uint32_t at, std::uint32_t value) const
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = m_bigEndian ? 24 - 8 * i : 8 * i;
            bytes[at + i] = static_cast<std::uint8_t>(value >> shift);
        }
    }

    // A catalogue of the given size whose entries all point at one text that
    // fills most of it, as a damaged or hostile file might: every source text
    // is that text, or, with distinctSources, each entry has a short source
    // text of its own and only the translations share it.
    static std::vector<std::uint8_t> sharedText(std::size_t size, bool distinctSources = false)
    {
        const std::uint32_t count = static_cast<std::uint32_t>(size / 4 / 16);
        const std::uint32_t sources = kHeaderSize;
        const std::uint32_t translations = sources + 8 * count;
        const std::uint32_t shortTexts = translations + 8 * count;
        const std::uint32_t shared = shortTexts + (distinctSources ? 8 * count : 0);
        std::vector<std::uint8_t> bytes(shared, 0);
        const std::uint32_t sharedLength = static_cast<std::uint32_t>(size > shared + 1 ? size - shared - 1 : 1);
        bytes.resize(shared + sharedLength + 1, 'x');
        bytes.back() = 0;
        const MoFileBuilder writer;
        writer.put(bytes, 0, 0x950412de);
        writer.put(bytes, 4, 0);
        writer.put(bytes, 8, count);
        writer.put(bytes, 12, sources);
        writer.put(bytes, 16, translations);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (distinctSources) {
                const std::uint32_t at = shortTexts + 8 * i;
                for (int digit = 0; digit < 7; ++digit)
                    bytes[at + digit] = static_cast<std::uint8_t>('a' + (i >> (3 * digit)) % 8);
                writer.put(bytes, sources + 8 * i, 7);
                writer.put(bytes, sources + 8 * i + 4, at);
            } else {
                writer.put(bytes, sources + 8 * i, sharedLength);
                writer.put(bytes, sources + 8 * i + 4, shared);
            }
            writer.put(bytes, translations + 8 * i, sharedLength);
            writer.put(bytes, translations + 8 * i + 4, shared);
        }
        return bytes;
    }

private:
    void placeText(std::vector<std::uint8_t>& bytes, std::uint32_t entry, const std::string& text) const
    {
        put(bytes, entry, static_cast<std::uint32_t>(text.size()));
        put(bytes, entry + 4, static_cast<std::uint32_t>(bytes.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    }

    bool m_bigEndian;
    std::vector<std::pair<std::string, std::string>> m_entries;
};

} // namespace QV::GP::Testing
