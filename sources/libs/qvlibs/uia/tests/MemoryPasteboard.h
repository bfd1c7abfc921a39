// A pasteboard kept in memory, for tests of what reads and writes
// pasteboards: items and types as a platform pasteboard offers them, and
// reads that fail on request.
#pragma once

#include <QV/UIA/DETAIL/Pasteboard.h>

#include <map>
#include <set>
#include <utility>

namespace QV::UIA::Testing {

class MemoryPasteboard : public DETAIL::Pasteboard
{
public:
    void add(std::size_t item, const std::string& type, ClipBoardItemData data)
    {
        if (m_items.size() < item)
            m_items.resize(item);
        m_items[item - 1].emplace_back(type, std::move(data));
    }
    void failData(std::size_t item) { m_failingData.insert(item); }
    void failCount() { m_failCount = true; }

    std::string name() const override { return "memory"; }
    std::size_t replace(const std::string& type, const std::vector<ClipBoardItemData>& items) override
    {
        m_items.clear();
        for (std::size_t i = 0; i < items.size(); ++i)
            add(i + 1, type, items[i]);
        return items.size();
    }
    std::optional<std::size_t> itemCount() override
    {
        if (m_failCount)
            return std::nullopt;
        return m_items.size();
    }
    std::optional<std::vector<std::string>> itemTypes(std::size_t item) override
    {
        if (item == 0 || item > m_items.size())
            return std::nullopt;
        std::vector<std::string> types;
        for (const auto& entry : m_items[item - 1])
            types.push_back(entry.first);
        return types;
    }
    std::optional<ClipBoardItemData> itemData(std::size_t item, const std::string& type) override
    {
        if (item == 0 || item > m_items.size() || m_failingData.count(item) != 0)
            return std::nullopt;
        for (const auto& entry : m_items[item - 1])
            if (entry.first == type)
                return entry.second;
        return std::nullopt;
    }

private:
    std::vector<std::vector<std::pair<std::string, ClipBoardItemData>>> m_items;
    std::set<std::size_t> m_failingData;
    bool m_failCount = false;
};

} // namespace QV::UIA::Testing
