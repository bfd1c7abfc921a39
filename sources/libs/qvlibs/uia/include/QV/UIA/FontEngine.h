#pragma once

#include <memory>

namespace QV::UIA {

namespace DETAIL {
class FreeType;
}

// Owns the font registry that fonts share their files and faces through.
//
// Thread affinity: main thread, but for getSystemFontEngine's creation.
class FontEngine
{
public:
    FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;
    ~FontEngine();

    DETAIL::FreeType* handle() const noexcept { return m_freeType.get(); }

private:
    std::unique_ptr<DETAIL::FreeType> m_freeType;
};

// The process's one font engine, made on the first call from any thread and
// destroyed at exit. Faces still held by fonts then keep what they need of
// it alive until they go.
FontEngine& getSystemFontEngine();

} // namespace QV::UIA
