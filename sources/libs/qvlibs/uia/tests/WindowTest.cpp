#include "FakeWindowImpl.h"
#include "TestApplication.h"

#include <QV/GP/Region.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace QV;
using namespace QV::UIA;
using namespace QV::UIA::Testing;

namespace {

using WindowTest = WithApplication;

// Records its own destruction.
class WatchedWindow : public FakeStandaloneWindow
{
public:
    explicit WatchedWindow(bool& destroyed) : m_destroyed(destroyed) {}
    ~WatchedWindow() override { m_destroyed = true; }

private:
    bool& m_destroyed;
};

} // namespace

TEST(WindowCreateData, AShorterOrNoTitleReplacesTheLongerOne)
{
    Window::CreateData data;
    data.setTitle("A much longer title");
    data.setTitle("Short");
    EXPECT_STREQ(data.getTitle(), "Short");
    data.setTitle(nullptr);
    EXPECT_STREQ(data.getTitle(), "");
}

TEST_F(WindowTest, AWindowWithoutImplementationAnswersDefaults)
{
    StandaloneWindow window;
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.getSize(true), (GP::Point{0, 0}));
    GP::Point point{3, 4};
    window.toScreen(point);
    EXPECT_EQ(point, (GP::Point{3, 4}));
    WindowState state;
    state.size = {7, 7};
    EXPECT_FALSE(window.getState(state));
    EXPECT_EQ(state.size, (GP::Point{7, 7}));
    EXPECT_FALSE(window.restoreState(state));
    EXPECT_EQ(window.getBackingScaleFactor(), 1.0f);
    EXPECT_EQ(window.getNSView(), nullptr);
    window.destroy();
    window.invalidate();
    window.show(true);
    window.setCursor(nullptr);
    window.setKeyFocus();
}

TEST_F(WindowTest, CreateFailsWhenNoNativeWindowCanBeMade)
{
    // Without a platform application (as here) no native window exists: the
    // window must say so rather than run on unseen.
    StandaloneWindow window;
    Window::CreateData data;
    data.setTitle("Nowhere");
    EXPECT_FALSE(window.create(data));
    EXPECT_FALSE(window.hasImpl());
    EXPECT_TRUE(Application::getWindows().empty());
    EXPECT_EQ(application->getMainWindow(), nullptr);
}

TEST_F(WindowTest, ShowingSendsTheShownEventOnlyWhenItBecomesVisible)
{
    FakeStandaloneWindow window;
    window.attachFake();
    window.show(false);
    window.show(true);
    window.show(true);
    window.show(false);
    EXPECT_EQ(window.received, (std::vector<unsigned>{kEventWindowShown}));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, SavedStateRoundTripAndInvalidation)
{
    FakeStandaloneWindow window;
    FakeWindowImpl* impl = window.attachFake();
    WindowState state;
    state.state = WindowState::kShown;
    state.position = {50, 60};
    state.size = {320, 200};
    ASSERT_TRUE(window.restoreState(state));
    WindowState saved;
    ASSERT_TRUE(window.getState(saved));
    EXPECT_EQ(saved.state, state.state);
    EXPECT_EQ(saved.position, state.position);
    EXPECT_EQ(saved.size, state.size);
    EXPECT_EQ(window.getSize(true), (GP::Point{320, 200}));

    ASSERT_TRUE(GP::Region::init());
    {
        GP::Region region;
        region.addFast({0, 0, 10, 10});
        region.addFast({0, 20, 30, 40});
        window.invalidateRegion(region);
        GP::Region empty;
        window.invalidateRegion(empty);
    }
    GP::Region::deInit();
    ASSERT_EQ(impl->invalidated.size(), 2u);
    EXPECT_EQ(impl->invalidated[0], (GP::Rect{0, 0, 10, 10}));
    EXPECT_EQ(impl->invalidated[1], (GP::Rect{0, 20, 30, 40}));
}

TEST_F(WindowTest, ClosingTheMainWindowIsTheQuitQuestion)
{
    FakeStandaloneWindow window;
    FakeWindowImpl* impl = window.attachFake();
    application->allowQuit = false;
    CloseRequestEventData close;
    EXPECT_TRUE(impl->sendEvent(kEventCloseRequest, &close, false));
    EXPECT_FALSE(close.allow);
    EXPECT_FALSE(application->isQuitPending());
    EXPECT_EQ(application->getMainWindow(), &window);

    application->allowQuit = true;
    CloseRequestEventData again;
    impl->sendEvent(kEventCloseRequest, &again, false);
    EXPECT_TRUE(again.allow);

    // The close goes through: one quit is posted.
    impl->nativeWindowClosed();
    EXPECT_FALSE(window.hasImpl());
    EXPECT_TRUE(application->isQuitPending());
    EXPECT_EQ(application->terminates, 1);
}

TEST_F(WindowTest, DestroyingTheMainWindowWhileQuitIsPendingPostsNothing)
{
    FakeStandaloneWindow window;
    window.attachFake();
    application->postQuit();
    window.destroy();
    EXPECT_FALSE(window.hasImpl());
    EXPECT_EQ(application->terminates, 1);
}

TEST_F(WindowTest, LifetimeOfWindowObjects)
{
    // Auto delete: the window object goes with its native window and leaves
    // the application's list and its place as the main window.
    bool destroyed = false;
    auto* autoDeleted = new WatchedWindow(destroyed);
    autoDeleted->setAutoDelete(true);
    autoDeleted->attachFake();
    application->postQuit();
    autoDeleted->destroy();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(Application::getWindows().empty());
    EXPECT_EQ(application->getMainWindow(), nullptr);

    // Deleting a window takes its implementation down with it, without
    // events to the half-destroyed window and without deleting it twice.
    bool kept = false;
    auto* window = new WatchedWindow(kept);
    window->setAutoDelete(true);
    window->attachFake();
    delete window;
    EXPECT_TRUE(kept);
    EXPECT_TRUE(Application::getWindows().empty());
    EXPECT_EQ(application->getMainWindow(), nullptr);
}
