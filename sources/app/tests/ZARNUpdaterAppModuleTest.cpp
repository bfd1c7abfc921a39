#include "ZARNUpdaterAppModule.h"

#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Lib.h>

#include <gtest/gtest.h>

#include <memory>

namespace QV {
namespace {

TEST(ZARNUpdaterAppModule, StartsTheLibrariesInOrderAndStopsThemInReverse)
{
    auto module = std::make_unique<ZARNUpdaterAppModule>();
    EXPECT_EQ(UIA::AppModule::getCurrentModule(), module.get());
    ASSERT_TRUE(UIA::DETAIL::AppModuleStartup::init());
    EXPECT_TRUE(GP::Lib::isInitialized());
    EXPECT_TRUE(UIA::Lib::isInitialized());
    UIA::DETAIL::AppModuleStartup::deInit();
    EXPECT_FALSE(UIA::Lib::isInitialized());
    EXPECT_FALSE(GP::Lib::isInitialized());
    module.reset();
    EXPECT_EQ(UIA::AppModule::getCurrentModule(), nullptr);
}

TEST(ZARNUpdaterAppModule, LeavesAloneWhatItDidNotStart)
{
    // The foundation runs for another owner; the module never started.
    ASSERT_TRUE(GP::Lib::init(GP::makeFileTypeMacMagic("TEST"), "test", GP::Lib::kVersion, GP::Lib::kFlavour));
    {
        ZARNUpdaterAppModule module;
        UIA::DETAIL::AppModuleStartup::deInit();
        module.deInit(false);
        EXPECT_TRUE(GP::Lib::isInitialized());
    }
    EXPECT_TRUE(GP::Lib::isInitialized());
    GP::Lib::deInit();
}

}  // namespace
}  // namespace QV
