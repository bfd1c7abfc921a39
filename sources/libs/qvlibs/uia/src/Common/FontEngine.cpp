#include <QV/UIA/FontEngine.h>

#include <QV/UIA/DETAIL/FreeType.h>

namespace QV::UIA {

FontEngine::FontEngine() : m_freeType(std::make_unique<DETAIL::FreeType>()) {}

FontEngine::~FontEngine() = default;

FontEngine& getSystemFontEngine()
{
    static FontEngine engine;
    return engine;
}

} // namespace QV::UIA
