// The pane without a window: painting into a picture, mouse routing with
// synthetic events, widget timers with a hand-driven tick, and invalidation
// from other threads.
#include "ToolkitFixtures.h"

#include <QV/QTK/Button.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace QV::QTK {
namespace {

using Testing::colourAt;
using Testing::Probe;
using Testing::ToolkitTest;

class PaneTest : public ToolkitTest
{
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        ASSERT_TRUE(picture.setSize(100, 80, true));
        pane.setSize(100, 80);
        pane.setBackground(kBack);
        root = std::make_shared<Probe>(kRoot);
        ASSERT_TRUE(pane.setRoot(root));
    }

    // Paints what is invalid after the picture was filled with kStale, so
    // that untouched pixels show.
    void paintOverStale(GP::Region* painted = nullptr)
    {
        picture.clear(kStale);
        GP::Region local;
        pane.paintInvalid(picture, painted != nullptr ? *painted : local);
    }

    // A probe placed at bounds and added to parent (the root when none).
    std::shared_ptr<Probe> add(std::uint32_t colour, GP::Rect bounds, bool mouse = false, Widget* parent = nullptr)
    {
        auto probe = std::make_shared<Probe>(colour, mouse);
        probe->setBounds(bounds);
        EXPECT_TRUE((parent != nullptr ? parent : root.get())->addChild(probe));
        return probe;
    }

    static constexpr std::uint32_t kBack = 0xFF101010u;
    static constexpr std::uint32_t kStale = 0xFFABCDEFu;
    static constexpr std::uint32_t kRoot = 0xFF202020u;

    Pane pane;
    UIA::Picture picture;
    std::shared_ptr<Probe> root;
};

TEST_F(PaneTest, WidgetsAreClippedToTheirOwnAndEveryAncestorsBounds)
{
    auto parent = add(0xFF00FF00u, {10, 10, 50, 40});
    // Reaches out of its parent, and the probe paints beyond its own bounds.
    auto child = add(0xFFFF0000u, {30, 20, 80, 60}, false, parent.get());
    child->overdraw = 15;
    paintOverStale();

    EXPECT_EQ(colourAt(picture, 5, 5), kRoot);
    EXPECT_EQ(colourAt(picture, 10, 10), 0xFF00FF00u);
    EXPECT_EQ(colourAt(picture, 40, 30), 0xFFFF0000u) << "child in absolute (40..60, 30..50)";
    EXPECT_EQ(colourAt(picture, 49, 39), 0xFFFF0000u);
    EXPECT_EQ(colourAt(picture, 50, 39), kRoot) << "cut at the parent's right edge";
    EXPECT_EQ(colourAt(picture, 45, 40), kRoot) << "cut at the parent's bottom edge";
    EXPECT_EQ(colourAt(picture, 39, 30), 0xFF00FF00u) << "overdraw left of the child stays out";
    EXPECT_EQ(colourAt(picture, 40, 29), 0xFF00FF00u) << "overdraw above the child stays out";
}

TEST_F(PaneTest, OnlyTheInvalidAreaIsRepainted)
{
    auto a = add(0xFF0000FFu, {0, 0, 20, 20});
    auto b = add(0xFF00FF00u, {50, 50, 70, 70});
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 60, 60), 0xFF00FF00u);

    EXPECT_FALSE(pane.needsUpdate());
    const int rootPaints = root->paints;
    b->colour = 0xFFFFFF00u;
    b->invalidate();
    EXPECT_TRUE(pane.needsUpdate());
    GP::Region painted;
    paintOverStale(&painted);
    EXPECT_EQ(painted.bounds(), (GP::Rect{50, 50, 70, 70}));
    EXPECT_EQ(colourAt(picture, 60, 60), 0xFFFFFF00u);
    EXPECT_EQ(colourAt(picture, 10, 10), kStale) << "a was not repainted";
    EXPECT_EQ(colourAt(picture, 49, 60), kStale);
    EXPECT_EQ(root->paints, rootPaints + 1) << "the root under b is painted once, for b's area";

    // Nothing pending: nothing is painted at all.
    picture.clear(kStale);
    GP::Region none;
    EXPECT_FALSE(pane.paintInvalid(picture, none));
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(PaneTest, MovingHidingAndRemovingRepaintWhatWasUnderneath)
{
    auto a = add(0xFF0000FFu, {0, 0, 20, 20});
    paintOverStale();

    a->setBounds({40, 40, 60, 60});
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 5, 5), kRoot) << "old place repainted";
    EXPECT_EQ(colourAt(picture, 45, 45), 0xFF0000FFu);

    a->setVisible(false);
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 45, 45), kRoot);
    a->setVisible(true);
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 45, 45), 0xFF0000FFu);

    ASSERT_TRUE(root->removeChild(a.get()));
    EXPECT_EQ(a->getPane(), nullptr);
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 45, 45), kRoot);
}

TEST_F(PaneTest, OverlappingSiblingsPaintAndHitInZOrder)
{
    auto below = add(0xFF0000FFu, {10, 10, 50, 50}, true);
    auto above = add(0xFF00FF00u, {30, 30, 70, 70}, true);
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 40, 40), 0xFF00FF00u);
    EXPECT_EQ(pane.findMouseTarget({40, 40}), above.get());
    EXPECT_EQ(pane.findMouseTarget({20, 20}), below.get());
    EXPECT_EQ(pane.findMouseTarget({60, 20}), nullptr) << "the root takes no mouse";

    above->setVisible(false);
    EXPECT_EQ(pane.findMouseTarget({40, 40}), below.get()) << "a hidden widget is not hit";

    // A child that takes no mouse passes it to its parent; clicks arrive in
    // the parent's coordinates.
    auto caption = add(0xFFFFFFFFu, {5, 5, 35, 35}, false, below.get());
    EXPECT_EQ(pane.findMouseTarget({20, 20}), below.get());
    EXPECT_TRUE(pane.mouseDown({20, 20}));
    EXPECT_TRUE(pane.mouseUp({22, 21}));
    EXPECT_EQ(below->clicks, (std::vector<GP::Point>{{12, 11}}));
}

TEST_F(PaneTest, AVisibleOverlayPaintsOnTopAndTakesTheMouseWhereItLies)
{
    auto under = add(0xFF0000FFu, {0, 0, 100, 80}, true);
    auto overlay = std::make_shared<Probe>(0xFFFFFFFFu);
    overlay->setBounds({20, 20, 80, 60});
    auto close = add(0xFFFF0000u, {5, 5, 15, 15}, true, overlay.get());
    ASSERT_TRUE(pane.setOverlay(overlay));
    paintOverStale();

    EXPECT_EQ(colourAt(picture, 50, 50), 0xFFFFFFFFu);
    EXPECT_EQ(colourAt(picture, 30, 30), 0xFFFF0000u);
    EXPECT_EQ(colourAt(picture, 5, 5), 0xFF0000FFu);
    EXPECT_EQ(pane.findMouseTarget({30, 30}), close.get());
    EXPECT_EQ(pane.findMouseTarget({50, 50}), nullptr) << "the overlay's own area hides what is under it";
    EXPECT_EQ(pane.findMouseTarget({5, 5}), under.get()) << "beside the overlay the page takes the mouse";
    EXPECT_TRUE(pane.mouseDown({5, 5}));
    EXPECT_TRUE(pane.mouseUp({6, 6}));
    EXPECT_EQ(under->clicks, (std::vector<GP::Point>{{6, 6}}));

    overlay->setVisible(false);
    EXPECT_EQ(pane.findMouseTarget({5, 5}), under.get());
    paintOverStale();
    EXPECT_EQ(colourAt(picture, 50, 50), 0xFF0000FFu);

    ASSERT_TRUE(pane.setOverlay(nullptr));
    EXPECT_EQ(overlay->getPane(), nullptr);
    EXPECT_FALSE(pane.setRoot(close)) << "a child of another widget cannot be a root";
}

TEST_F(PaneTest, HoverPressAndClickFollowTheMouse)
{
    auto a = add(0xFF0000FFu, {0, 0, 40, 40}, true);
    auto b = add(0xFF00FF00u, {50, 0, 90, 40}, true);

    EXPECT_TRUE(pane.mouseMove({10, 10}));
    EXPECT_TRUE(a->isHovered());
    pane.mouseMove({60, 10});
    EXPECT_FALSE(a->isHovered());
    EXPECT_TRUE(b->isHovered());

    // Pressed on b, dragged onto a and released there: no click anywhere.
    pane.mouseDown({60, 10});
    EXPECT_TRUE(b->isPressed());
    pane.mouseMove({10, 10});
    EXPECT_FALSE(b->isPressed()) << "pressed look only while over the widget";
    EXPECT_TRUE(a->isHovered());
    pane.mouseMove({60, 10});
    EXPECT_TRUE(b->isPressed());
    pane.mouseMove({10, 10});
    pane.mouseUp({10, 10});
    EXPECT_TRUE(a->clicks.empty());
    EXPECT_TRUE(b->clicks.empty());
    EXPECT_EQ(pane.getPressed(), nullptr);

    // A release without a press is ignored.
    EXPECT_FALSE(pane.mouseUp({10, 10}));
    EXPECT_TRUE(a->clicks.empty());

    pane.mouseLeave();
    EXPECT_FALSE(a->isHovered());
    EXPECT_EQ(pane.getHovered(), nullptr);
}

TEST_F(PaneTest, DisabledWidgetsAndDisabledParentsTakeNoClick)
{
    auto group = add(0xFF0000FFu, {0, 0, 60, 60});
    auto a = add(0xFF00FF00u, {10, 10, 30, 30}, true, group.get());

    group->setEnabled(false);
    EXPECT_FALSE(pane.mouseMove({15, 15}));
    EXPECT_FALSE(a->isHovered());
    EXPECT_FALSE(pane.mouseDown({15, 15}));
    pane.mouseUp({15, 15});
    EXPECT_TRUE(a->clicks.empty());

    // Disabled between press and release.
    group->setEnabled(true);
    pane.mouseDown({15, 15});
    a->setEnabled(false);
    pane.mouseUp({15, 15});
    EXPECT_TRUE(a->clicks.empty());
    EXPECT_FALSE(a->isPressed());
}

TEST_F(PaneTest, AWidgetRemovedWhilePressedOrHoveredIsForgotten)
{
    auto a = add(0xFF00FF00u, {10, 10, 30, 30}, true);
    pane.mouseDown({15, 15});
    ASSERT_EQ(pane.getPressed(), a.get());
    root->removeChild(a.get());
    a.reset();
    EXPECT_EQ(pane.getPressed(), nullptr);
    EXPECT_EQ(pane.getHovered(), nullptr);
    EXPECT_FALSE(pane.mouseUp({15, 15}));

    auto b = add(0xFF00FF00u, {10, 10, 30, 30}, true);
    pane.mouseMove({15, 15});
    ASSERT_EQ(pane.getHovered(), b.get());
    b->setVisible(false);
    EXPECT_EQ(pane.getHovered(), nullptr);
    EXPECT_FALSE(b->isHovered());
}

TEST_F(PaneTest, AButtonDroppedByItsOwnClickHandlerSurvivesTheSignal)
{
    auto button = std::make_shared<Button>();
    button->setBounds({10, 10, 50, 30});
    button->setId(qv::symbol("update"));
    root->addChild(button);
    std::vector<std::string> seen;
    Button* const raw = button.get();
    button->clicked().connect([&](const ButtonImpl::tSignalData& data) {
        seen.push_back(data.id.string());
        EXPECT_EQ(data.button, raw);
        root->removeChild(raw);
    });
    // Another slot after the one that drops the button still runs.
    button->clicked().connect([&](const ButtonImpl::tSignalData&) { seen.emplace_back("second"); });
    button.reset();

    pane.mouseDown({20, 20});
    pane.mouseUp({20, 20});
    EXPECT_EQ(seen, (std::vector<std::string>{"update", "second"}));
    EXPECT_TRUE(root->getChildren().empty());
}

// A press is taken only where the screen showed the widget under it as it is
// when the press was made: one made before a change of its enabled state,
// visibility, place or text, or before an overlay over it went, was shown
// (a press that waited while the main thread was held) pressed on what was
// there before. Hover does not count, nor does a press of unknown time.
TEST_F(PaneTest, APressMadeBeforeTheWidgetWasShownAsItIsIsNotTaken)
{
    using namespace std::chrono_literals;
    const auto shown = std::chrono::steady_clock::now();
    const auto pressed = shown + 1s;
    const auto later = shown + 3s;
    struct Row {
        const char* name;
        std::function<void(Button&)> before, change;
    };
    auto cover = std::make_shared<Probe>(0xFFFFFFFFu);
    cover->setBounds({0, 0, 100, 80});
    const Row rows[] = {
        {"enabled", [](Button& b) { b.setEnabled(false); }, [](Button& b) { b.setEnabled(true); }},
        {"shown", [](Button& b) { b.setVisible(false); }, [](Button& b) { b.setVisible(true); }},
        {"moved here", [](Button& b) { b.setBounds({50, 10, 90, 30}); },
         [](Button& b) { b.setBounds({10, 10, 50, 30}); }},
        {"renamed", [](Button& b) { b.setText("UPDATE"); }, [](Button& b) { b.setText("RETRY"); }},
        {"uncovered", [&](Button&) { pane.setOverlay(cover); }, [&](Button&) { pane.setOverlay(nullptr); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto button = std::make_shared<Button>();
        button->setBounds({10, 10, 50, 30});
        int clicks = 0;
        button->clicked().connect([&](const ButtonImpl::tSignalData&) { ++clicks; });
        root->addChild(button);
        row.before(*button);
        paintOverStale();
        pane.noteShown(shown);
        row.change(*button);
        EXPECT_FALSE(pane.mouseDown({20, 20}, pressed)) << "the change is not painted";
        paintOverStale();
        EXPECT_FALSE(pane.mouseDown({20, 20}, pressed)) << "the change is not shown";
        pane.noteShown(shown + 2s);
        EXPECT_FALSE(pane.mouseDown({20, 20}, pressed)) << "the change was shown after the press";
        pane.mouseUp({20, 20});
        EXPECT_EQ(clicks, 0);
        EXPECT_TRUE(pane.mouseDown({20, 20}, later));
        pane.mouseUp({20, 20});
        EXPECT_EQ(clicks, 1);
        root->removeChild(button.get());
    }

    auto button = std::make_shared<Button>();
    button->setBounds({10, 10, 50, 30});
    root->addChild(button);
    EXPECT_TRUE(pane.mouseDown({20, 20})) << "a press of unknown time";
    pane.mouseUp({20, 20});
    paintOverStale();
    pane.noteShown(shown);
    pane.mouseMove({20, 20});
    paintOverStale();
    EXPECT_TRUE(pane.mouseDown({20, 20}, pressed)) << "the hover look came after the press";
}

TEST_F(PaneTest, TimersFireOnceAfterTheirTicks)
{
    auto a = add(0xFF00FF00u, {});
    ASSERT_TRUE(a->startTimer(3, 7));
    ASSERT_TRUE(a->startTimer(1, 8));
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{8}));
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{8}));
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{8, 7}));
    for (int i = 0; i < 5; ++i)
        pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{8, 7})) << "one-shot";
    EXPECT_FALSE(pane.hasTimers());

    // Restarting a pending timer starts its count again; zero ticks is one.
    a->timers.clear();
    a->startTimer(2, 1);
    pane.tick();
    a->startTimer(2, 1);
    pane.tick();
    EXPECT_TRUE(a->timers.empty());
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{1}));
    a->startTimer(0, 2);
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{1, 2}));

    // Stopped timers never fire; a widget outside any pane has none.
    a->startTimer(1, 3);
    a->stopTimer(3);
    pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{1, 2}));
    Probe loose(0);
    EXPECT_FALSE(loose.startTimer(1, 0));

    // Started again from its own handler: once every two ticks.
    a->timers.clear();
    a->repeatEvery = 2;
    a->startTimer(2, 5);
    for (int i = 0; i < 6; ++i)
        pane.tick();
    EXPECT_EQ(a->timers, (std::vector<int>{5, 5, 5}));
}

TEST_F(PaneTest, AWidgetDestroyedWhileItsTimerIsPendingIsNotCalled)
{
    auto a = add(0xFF00FF00u, {});
    auto b = add(0xFF00FF00u, {});
    a->startTimer(2, 1);
    b->startTimer(1, 1);
    root->removeChild(a.get());
    a.reset();
    // b's handler drops another widget whose timer is due in the same tick.
    auto c = add(0xFF00FF00u, {});
    c->startTimer(1, 1);
    b->onTimerDo = [&] {
        root->removeChild(c.get());
        c.reset();
    };
    pane.tick();
    pane.tick();
    EXPECT_EQ(b->timers, (std::vector<int>{1}));
    EXPECT_FALSE(pane.hasTimers());
}

TEST_F(PaneTest, InvalidationFromOtherThreadsIsPaintedOnTheMainThread)
{
    std::vector<std::shared_ptr<Probe>> widgets;
    for (int i = 0; i < 8; ++i) {
        widgets.push_back(std::make_shared<Probe>(0xFF000000u | unsigned(i)));
        widgets.back()->setBounds({i * 10, 0, i * 10 + 10, 10});
        root->addChild(widgets.back());
    }
    paintOverStale();
    ASSERT_FALSE(pane.needsUpdate());

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&widgets, t] {
            for (int n = 0; n < 2000; ++n)
                widgets[std::size_t((t * 2 + n) % 8)]->invalidate();
        });
    }
    // Painting runs while the other threads keep asking.
    for (int round = 0; round < 50; ++round) {
        GP::Region painted;
        pane.paintInvalid(picture, painted);
    }
    for (auto& thread : threads)
        thread.join();

    // Every request made before the last paint is answered by it.
    widgets[5]->colour = 0xFFFFFFFFu;
    widgets[5]->invalidate();
    GP::Region painted;
    paintOverStale(&painted);
    EXPECT_FALSE(pane.needsUpdate());
    EXPECT_EQ(colourAt(picture, 55, 5), 0xFFFFFFFFu);
    EXPECT_TRUE(painted.testRect({50, 0, 60, 10}) == 0);
}

} // namespace
} // namespace QV::QTK
