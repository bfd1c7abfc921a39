#pragma once

#include <cstddef>
#include <cstdint>

// The 256-bit forms of the pixel kernels (see PixelKernels.h); each returns
// how many pixels it handled. Only to be called when the processor has AVX2.
namespace QV::UIA::DETAIL::PixelRowsAvx2 {

std::size_t fill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;
std::size_t overRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;
std::size_t overFill(std::uint32_t* dst, std::size_t count, std::uint32_t colour) noexcept;
std::size_t blendRow(std::uint32_t* dst, const std::uint32_t* src, std::size_t count) noexcept;
std::size_t dyeRow(std::uint32_t* dst, const std::uint32_t* mask, std::size_t count, std::uint32_t dye) noexcept;

} // namespace QV::UIA::DETAIL::PixelRowsAvx2
