#pragma once

#include <QV/GP/array_ref.h>
#include <QV/GP/symbol.h>

#include <cstddef>
#include <cstdint>

namespace qv {

// Byte blocks built into the program, found by name or by type and index.
// This is where resource lookups go on every platform: there is no
// resource map of the system's own to fall back on.
class compiled_resources
{
public:
    using data = array_ref<const std::uint8_t>;

    struct type_index_key
    {
        symbol type;
        std::uint32_t index;

        bool operator==(type_index_key const&) const noexcept = default;
    };

    // (index - 1) AND (type hash * 0x9E3779B97F4A8000), in unsigned 64-bit
    // arithmetic.
    struct type_index_key_hash
    {
        std::size_t operator()(type_index_key const& key) const noexcept;
    };

    compiled_resources() = delete;

    // The resource registered under the name, or under the type and index.
    // Throws std::runtime_error("resource not found") when there is none.
    static data resolve_resource_data(symbol name);
    static data resolve_resource_data(symbol type, unsigned int index);

    // Registers a block that lives as long as the program (usually from a
    // static initialiser next to the block). A key already taken keeps its
    // first block and the call returns false.
    static bool register_resource(symbol name, data bytes);
    static bool register_resource(symbol type, unsigned int index, data bytes);
};

} // namespace qv
