#include <QV/GP/Application.h>
#include <QV/GP/Assertion.h>
#include <QV/GP/Authentication.h>
#include <QV/GP/CriticalSection.h>
#include <QV/GP/Lib.h>
#include <QV/GP/Registry.h>
#include <QV/GP/RegularAllocator.h>
#include <QV/GP/SystemInfo.h>
#include <QV/GP/TLS.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace QV::GP;

namespace {

constexpr FileTypeMacMagic kSignature = makeFileTypeMacMagic("QKBD");

class LibStart : public ::testing::Test
{
protected:
    void TearDown() override { Lib::deInit(); }
};

TEST_F(LibStart, InitBringsServicesUpAndDeInitTakesThemDown)
{
    ASSERT_FALSE(Lib::isInitialized());
    ASSERT_TRUE(Lib::init(kSignature, "ZARN UPDATER", Lib::kVersion, Lib::kFlavour));
    EXPECT_TRUE(Lib::isInitialized());
    EXPECT_EQ(Application::getSignature(), 0x514B4244u);
    EXPECT_STREQ(Application::getName(), "ZARN UPDATER");
    EXPECT_TRUE(TLS::isInit());
    EXPECT_TRUE(TLS::hasKey());
    EXPECT_TRUE(CriticalSection::s_heap.isSetUp());
    EXPECT_TRUE(Authentication::isInited());
    EXPECT_GE(SystemInfo::values().processingUnits, 1u);
    Lib::checkVersionAndFlavour(0x02030000, 69); // returns: the check passes

    Lib::deInit();
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(TLS::isInit());
    EXPECT_FALSE(TLS::hasKey());
    EXPECT_FALSE(CriticalSection::s_heap.isSetUp());
    EXPECT_FALSE(Authentication::isInited());

    // The library starts again after a stop.
    ASSERT_TRUE(Lib::init(kSignature, nullptr, Lib::kVersion, Lib::kFlavour));
    EXPECT_TRUE(Lib::isInitialized());
}

// When the heap of locks cannot be set up (here: it still holds an element
// of another size from an earlier use), start-up stops everything it began
// and reports failure.
TEST_F(LibStart, FailedServiceStartUndoesEverything)
{
    DA::RegularAllocator& heap = CriticalSection::s_heap;
    ASSERT_TRUE(heap.init(sizeof(CriticalSection) * 2, 1, 1));
    void* foreign = heap.allocate();
    heap.deInit();

    EXPECT_FALSE(Lib::init(kSignature, "Failing", Lib::kVersion, Lib::kFlavour));
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(TLS::isInit());
    EXPECT_FALSE(Authentication::isInited());
    EXPECT_FALSE(heap.isSetUp());

    heap.deallocate(foreign);
    heap.deInit();
    EXPECT_TRUE(Lib::init(kSignature, nullptr, Lib::kVersion, Lib::kFlavour));
}

TEST_F(LibStart, DeInitWithoutInitIsHarmless)
{
    Lib::deInit();
    Lib::deInit();
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(Authentication::isInited());
}

// The platform layer starts thread-local storage before the library; the
// library's own start must keep that key, not make a second one.
TEST_F(LibStart, EarlierThreadStorageStartIsKept)
{
    TLS::init();
    const pthread_key_t key = TLS::key();
    ASSERT_TRUE(Lib::init(kSignature, nullptr, Lib::kVersion, Lib::kFlavour));
    EXPECT_EQ(TLS::key(), key);
}

TEST_F(LibStart, ApplicationName)
{
    Application::setName("First");
    ASSERT_TRUE(Lib::init(kSignature, nullptr, Lib::kVersion, Lib::kFlavour));
    EXPECT_STREQ(Application::getName(), "First"); // a null name keeps the previous one

    const std::string longName(300, 'n');
    Application::setName(longName.c_str());
    EXPECT_EQ(std::string(Application::getName()), longName.substr(0, 255));
    Application::setName("");
    EXPECT_STREQ(Application::getName(), "");
}

TEST_F(LibStart, AuthenticationStartsOnce)
{
    ASSERT_TRUE(Lib::init(kSignature, nullptr, Lib::kVersion, Lib::kFlavour));
    EXPECT_FALSE(Authentication::init()); // already started by the library
    EXPECT_EQ(Authentication::isProcessElevated(), geteuid() == 0 && getuid() == 0);
}

// The line a failed start-up check reports, with throwing switched on.
int failedLine(const std::function<void()>& call)
{
    Assertion::setThrowException(true);
    int line = 0;
    try {
        call();
    } catch (const Assertion::exception& failure) {
        EXPECT_STREQ(failure.getFile(), "../sources/libs/qvlibs/gp/src/Common/Init_GP");
        line = failure.getLine();
    }
    Assertion::setThrowException(false);
    return line;
}

TEST_F(LibStart, VersionAndFlavourChecksFailAtTheirLines)
{
    auto init = [](int version, int flavour) {
        return [=] { Lib::init(kSignature, nullptr, version, flavour); };
    };
    EXPECT_EQ(failedLine(init(0x02030001, 69)), 205);
    EXPECT_EQ(failedLine(init(0x02030000, 69 + 0x100)), 208);
    EXPECT_EQ(failedLine(init(0x02030000, 69 | 0x10000)), 211);
    EXPECT_EQ(failedLine(init(0x02030000, 68)), 208);
    EXPECT_FALSE(Lib::isInitialized());
    EXPECT_FALSE(TLS::isInit()); // nothing was started

    EXPECT_EQ(failedLine([] { Lib::checkVersionAndFlavour(0x02040000, 69); }), 205);
    EXPECT_EQ(failedLine([] { Lib::checkVersionAndFlavour(0x02030000, 70); }), 208);
    // A negative flavour is far above the limit when read unsigned.
    EXPECT_EQ(failedLine([] { Lib::checkVersionAndFlavour(0x02030000, int(0xFFFF0045u)); }), 211);
    EXPECT_EQ(failedLine([] { Lib::checkVersionAndFlavour(0x02030000, 69); }), 0);
}

TEST_F(LibStart, SecondInitIsAFailedCheckAndKeepsTheLibraryUp)
{
    ASSERT_TRUE(Lib::init(kSignature, "Once", Lib::kVersion, Lib::kFlavour));
    EXPECT_EQ(failedLine([] { Lib::init(kSignature, "Twice", Lib::kVersion, Lib::kFlavour); }), 62);
    EXPECT_TRUE(Lib::isInitialized());
    EXPECT_STREQ(Application::getName(), "Once");
    EXPECT_TRUE(Authentication::isInited());
}

// By default a failed check is reported and ends the process with code 1.
// Without a display the report goes to the error stream.
TEST(LibStartDeathTest, FailedCheckEndsTheProcess)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            Lib::init(kSignature, nullptr, 0x02030001, 69);
        },
        ::testing::ExitedWithCode(1), "Error \\.\\./sources/libs/qvlibs/gp/src/Common/Init_GP:205");
}

class FakeStore : public Registry::Impl
{
public:
    explicit FakeStore(int* shutDowns) : m_shutDowns(shutDowns) {}
    bool get(const char* key, std::vector<std::string>& values, Registry::eGetMode mode) override
    {
        if (std::string(key) != "AppleLanguages" || mode != Registry::kGetList)
            return false;
        values = {"de", "en"};
        return true;
    }
    void shutDown() override { ++*m_shutDowns; }

private:
    int* m_shutDowns;
};

TEST_F(LibStart, RegistryAnswersOnlyWithAStoreAndIsClearedAtShutDown)
{
    std::vector<std::string> values{"kept"};
    EXPECT_FALSE(Registry::get("AppleLanguages", values, Registry::kGetList));
    EXPECT_EQ(values, std::vector<std::string>{"kept"});

    int shutDowns = 0;
    Registry::setImpl(std::make_unique<FakeStore>(&shutDowns));
    EXPECT_TRUE(Registry::get("AppleLanguages", values, Registry::kGetList));
    EXPECT_EQ(values, (std::vector<std::string>{"de", "en"}));

    Lib::deInit();
    EXPECT_EQ(shutDowns, 1);
    EXPECT_FALSE(Registry::get("AppleLanguages", values, Registry::kGetList));
}

} // namespace
