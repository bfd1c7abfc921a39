#include "TestApplication.h"

#include <QV/GP/Assertion.h>
#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/DETAIL/Keys.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/ResourceFacade.h>

#include <gtest/gtest.h>

#include <memory>

using namespace QV::UIA;
using namespace QV::UIA::Testing;

TEST(AppModule, TheFirstModuleIsCurrentUntilItGoes)
{
    EXPECT_EQ(AppModule::getCurrentModule(), nullptr);
    auto first = std::make_unique<TestModule>();
    TestModule second;
    EXPECT_EQ(AppModule::getCurrentModule(), first.get());
    first.reset();
    EXPECT_EQ(AppModule::getCurrentModule(), nullptr) << "no pointer to a destroyed module";
    EXPECT_FALSE(DETAIL::AppModuleStartup::init());
}

TEST(AppModule, AttachingAndDestroyingTheApplication)
{
    TestModule module;
    std::vector<std::string> log;
    bool destroyed = false;
    auto* application = new TestApplication(&log, &destroyed);
    ASSERT_TRUE(module.attachApplication(application));
    EXPECT_EQ(Application::getApplication(), application);
    EXPECT_EQ(application->getModuleOwner(), &module);

    TestApplication other;
    EXPECT_FALSE(module.attachApplication(&other)) << "a second application is refused";
    EXPECT_EQ(module.getApplication(), application);

    module.destroyApplication();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(log, (std::vector<std::string>{"init", "deInit(false)"}));
    EXPECT_EQ(Application::getApplication(), nullptr);
    module.destroyApplication();
}

TEST(AppModule, AnApplicationWhoseInitFailsIsTakenDownOnce)
{
    TestModule module;
    std::vector<std::string> log;
    bool destroyed = false;
    auto* application = new TestApplication(&log, &destroyed);
    application->initResult = false;
    EXPECT_FALSE(module.attachApplication(application));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(module.getApplication(), nullptr);
    module.destroyApplication();
    EXPECT_EQ(log, (std::vector<std::string>{"init", "deInit(false)"}));
}

TEST(AppModule, StartupGlueRunsDeInitOnlyAfterCreate)
{
    TestModule module;
    ResourceFacade::resourceMap()[0x50494354].reset(new ResourceMap::IdMap{{1, {}}});
    DETAIL::AppModuleStartup::deInit();
    EXPECT_TRUE(module.deInits.empty()) << "nothing was started";
    EXPECT_TRUE(ResourceFacade::resourceMap().empty());

    EXPECT_TRUE(DETAIL::AppModuleStartup::init());
    EXPECT_EQ(module.inits, 1);
    DETAIL::AppModuleStartup::deInit();
    DETAIL::AppModuleStartup::deInit();
    EXPECT_EQ(module.deInits, (std::vector<bool>{true}));

    module.initResult = false;
    EXPECT_FALSE(DETAIL::AppModuleStartup::init());
    DETAIL::AppModuleStartup::deInit();
    EXPECT_EQ(module.deInits, (std::vector<bool>{true, false}));
}

TEST(AppModule, VersionText)
{
    EXPECT_EQ(DETAIL::cutVersionText("2.4.1,7"), "2.4.1");
    EXPECT_EQ(DETAIL::cutVersionText("2.4.1"), "2.4.1");
    // Tests run without an application folder: no bundle, no version.
    std::string version = "earlier text";
    EXPECT_FALSE(AppModule::getVersionInfo(version));
    EXPECT_EQ(version, "?.??.???");
}

TEST(UIALib, StartsAndStopsItsServices)
{
    ASSERT_TRUE(Lib::init(Lib::kVersion, Lib::kFlavour));
    EXPECT_TRUE(Lib::isInitialized());
    EXPECT_TRUE(Lib::isMenuInitialized());
    EXPECT_TRUE(DETAIL::Keys::isInitialized());
    EXPECT_TRUE(CursorManager::isInitialized());
    EXPECT_TRUE(CursorManager::hasDefaultCursors());
    EXPECT_TRUE(AsyncEventTargetImpl::isInitialized());
    const int registrations = CursorManager::getRegistrationCount();

    DETAIL::Keys::uiaToPlatformMap()[1] = 2;
    Lib::deInit();
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(Lib::isMenuInitialized());
    EXPECT_FALSE(CursorManager::isInitialized());
    EXPECT_FALSE(CursorManager::hasDefaultCursors());
    EXPECT_EQ(CursorManager::getRegistrationCount(), registrations - 1);
    EXPECT_FALSE(AsyncEventTargetImpl::isInitialized());
    EXPECT_TRUE(DETAIL::Keys::uiaToPlatformMap().empty());
    Lib::deInit();
}

TEST(UIALib, AWrongVersionOrFlavourUndoesEverything)
{
    QV::GP::Assertion::setThrowException(true);
    for (auto [version, flavour] : {std::pair{0x04000000, 69}, std::pair{Lib::kVersion, 68},
                                    std::pair{Lib::kVersion, 0x10000 | 69}}) {
        EXPECT_FALSE(Lib::init(version, flavour)) << std::hex << version << " " << flavour;
        EXPECT_FALSE(Lib::isInitialized());
        EXPECT_FALSE(CursorManager::isInitialized());
        EXPECT_FALSE(AsyncEventTargetImpl::isInitialized());
    }
    QV::GP::Assertion::setThrowException(false);
}

TEST(CursorRegistrations, OnlyTheLatestClosedBlockIsRemoved)
{
    const auto first = CursorManager::beginRegistration();
    CursorManager::endRegistration();
    const auto second = CursorManager::beginRegistration();
    CursorManager::unregister(second); // still open: ignored
    CursorManager::endRegistration();
    const int count = CursorManager::getRegistrationCount();
    CursorManager::unregister(first); // not the latest: ignored
    EXPECT_EQ(CursorManager::getRegistrationCount(), count);
    CursorManager::unregister(second);
    CursorManager::unregister(first);
    EXPECT_EQ(CursorManager::getRegistrationCount(), count - 2);
}
