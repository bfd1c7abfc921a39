#pragma once

#include <cstdint>

namespace qv {

// A view of size elements at data that it does not own.
template <typename T>
class array_ref
{
public:
    constexpr array_ref() noexcept = default;
    constexpr array_ref(T* data, std::uint64_t size) noexcept : m_data(data), m_size(size) {}

    constexpr T* data() const noexcept { return m_data; }
    constexpr std::uint64_t size() const noexcept { return m_size; }
    constexpr T* begin() const noexcept { return m_data; }
    constexpr T* end() const noexcept { return m_data + m_size; }

private:
    T* m_data = nullptr;
    std::uint64_t m_size = 0;
};

} // namespace qv
