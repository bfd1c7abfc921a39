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
