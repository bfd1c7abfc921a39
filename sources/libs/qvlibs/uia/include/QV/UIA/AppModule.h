#pragma once

#include <string>

namespace QV::UIA {

class IApplication;

namespace DETAIL {
class AppModuleStartup;
}

// The process-wide module: the host derives its own, whose init() brings up
// the libraries and attaches the application and whose deInit() takes them
// down again. The first module constructed becomes the current module until
// it is destroyed.
//
// Thread affinity: main thread.
class AppModule
{
public:
    AppModule();
    // Destroys an attached application; the current-module pointer is
    // cleared when it named this module.
    virtual ~AppModule();
    AppModule(const AppModule&) = delete;
    AppModule& operator=(const AppModule&) = delete;

    static AppModule* getCurrentModule() noexcept;

    IApplication* getApplication() const noexcept { return m_application; }

    // Starts the locale and thread-local storage of the foundation, then
    // runs init() and keeps its result for deInit.
    bool create();
    bool wasCreated() const noexcept { return m_created; }
    bool isInitialized() const noexcept { return m_initialised; }

    // Takes ownership and runs the application's init(). False, with the
    // application de-initialised once and deleted, when its init fails;
    // false, with nothing changed, when an application is attached already.
    bool attachApplication(IApplication* application);
    // De-initialises, detaches and deletes the attached application.
    void destroyApplication();

    virtual bool init() = 0;
    virtual void deInit(bool initialised) = 0;
    virtual bool initRegistry() const;
    // With useRegistry, the first of the user's preferred languages as the
    // settings store gives them; else (or when there is none) empty.
    virtual std::string getLocale(bool useRegistry) const;

    // The version text of the running bundle ("CFBundleShortVersionString",
    // else "CFBundleVersion"), cut before the first ','. When the bundle or
    // the value is missing, out becomes "?.??.???" and the result is false.
    static bool getVersionInfo(std::string& out);

private:
    bool m_initialised = false;
    bool m_created = false;
    IApplication* m_application = nullptr;

    friend class DETAIL::AppModuleStartup;
};

namespace DETAIL {

// The glue the host's application delegate calls at launch and terminate.
class AppModuleStartup
{
public:
    AppModuleStartup() = delete;
    // False when there is no current module; else the module's create().
    static bool init();
    // The module's deInit, only when its create() ran and has not been
    // undone yet, then the resource map is cleared.
    static void deInit();
};

// A version value as the module reports it: cut before the first ','.
std::string cutVersionText(const std::string& value);

} // namespace DETAIL

} // namespace QV::UIA
