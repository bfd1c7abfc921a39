#include <QV/GP/compiled_resources.h>

#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <unordered_map>

namespace qv {

namespace {

struct SymbolHash
{
    std::size_t operator()(symbol const& s) const noexcept { return static_cast<std::size_t>(s.hash()); }
};

// Lookups far outnumber registrations, which mostly happen before main.
class Registry
{
public:
    Registry()
    {
        m_byName.max_load_factor(1.0f);
        m_byTypeIndex.max_load_factor(1.0f);
    }

    std::shared_mutex mutex;
    std::unordered_map<symbol, compiled_resources::data, SymbolHash> m_byName;
    std::unordered_map<compiled_resources::type_index_key, compiled_resources::data,
                       compiled_resources::type_index_key_hash>
        m_byTypeIndex;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

template <typename Map, typename Key>
compiled_resources::data find(Map const& map, Key const& key)
{
    const std::shared_lock<std::shared_mutex> lock(registry().mutex);
    const auto found = map.find(key);
    if (found == map.end())
        throw std::runtime_error("resource not found");
    return found->second;
}

template <typename Map, typename Key>
bool add(Map& map, Key const& key, compiled_resources::data bytes)
{
    const std::unique_lock<std::shared_mutex> lock(registry().mutex);
    return map.emplace(key, bytes).second;
}

} // namespace

std::size_t compiled_resources::type_index_key_hash::operator()(type_index_key const& key) const noexcept
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(key.index) - 1u)
                                    & (key.type.hash() * 0x9E3779B97F4A8000ull));
}

compiled_resources::data compiled_resources::resolve_resource_data(symbol name)
{
    return find(registry().m_byName, name);
}

compiled_resources::data compiled_resources::resolve_resource_data(symbol type, unsigned int index)
{
    return find(registry().m_byTypeIndex, type_index_key{type, index});
}

bool compiled_resources::register_resource(symbol name, data bytes)
{
    return add(registry().m_byName, name, bytes);
}

bool compiled_resources::register_resource(symbol type, unsigned int index, data bytes)
{
    return add(registry().m_byTypeIndex, type_index_key{type, index}, bytes);
}

} // namespace qv
