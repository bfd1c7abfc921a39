#pragma once

// The module of a test program that runs as a platform-layer application:
// it starts the foundation and the platform layer, attaches an application
// of type App, and takes them down in reverse, as far as they came up.
#include <QV/GP/FileTypeMacMagic.h>
#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Lib.h>

namespace QV::UIA::Testing {

template <class App>
class LayerModule : public AppModule
{
public:
    LayerModule(GP::FileTypeMacMagic signature, const char* name)
        : m_signature(signature)
        , m_name(name)
    {
    }

    bool init() override
    {
        if (!GP::Lib::init(m_signature, m_name, GP::Lib::kVersion, GP::Lib::kFlavour))
            return false;
        m_foundation = true;
        if (!Lib::init(Lib::kVersion, Lib::kFlavour))
            return false;
        m_platform = true;
        return attachApplication(new App);
    }

    void deInit(bool) override
    {
        destroyApplication();
        if (m_platform)
            Lib::deInit();
        if (m_foundation)
            GP::Lib::deInit();
        m_platform = m_foundation = false;
    }

private:
    GP::FileTypeMacMagic m_signature;
    const char* m_name;
    bool m_foundation = false;
    bool m_platform = false;
};

} // namespace QV::UIA::Testing
