#pragma once

namespace QV::UIA {

class AppModule;

// What the module sees of its application.
class IApplication
{
public:
    virtual ~IApplication() = default;
    virtual void setModuleOwner(AppModule* module) = 0;
    virtual int run() = 0;
    virtual bool init() = 0;
    virtual void deInit(bool initialised) = 0;
    virtual void postQuit() = 0;
};

} // namespace QV::UIA
