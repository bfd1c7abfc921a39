#include "DefaultFont.h"

#include <QV/GP/compiled_resources.h>

#include <cstdint>

// The font file, pulled into the library by the build (DefaultFontData.s).
extern "C" const std::uint8_t qv_uia_default_font[];
extern "C" const std::uint8_t qv_uia_default_font_end[];

namespace QV::UIA::DETAIL {

bool registerDefaultFont()
{
    static const bool registered = qv::compiled_resources::register_resource(
        qv::symbol("TTFd"), 1,
        qv::compiled_resources::data(qv_uia_default_font,
                                     static_cast<std::uint64_t>(qv_uia_default_font_end - qv_uia_default_font)));
    return registered;
}

namespace {
// Resource lookups that bypass the facade find the font as well.
[[maybe_unused]] const bool s_registered = registerDefaultFont();
} // namespace

} // namespace QV::UIA::DETAIL
