#pragma once

#include <QV/GP/Region.h>
#include <QV/QTK/Pane.h>
#include <QV/QTK/Widget.h>
#include <QV/UIA/Picture.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace QV::QTK::Testing {

// Panes paint with regions, whose pool must be running.
class ToolkitTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(GP::Region::init()); }
    void TearDown() override { GP::Region::deInit(); }
};

// A widget that fills itself with one colour (and `overdraw` pixels beyond
// its bounds on every side, to show the pane's clipping), and records its
// paints, clicks and timers.
class Probe : public Widget
{
public:
    explicit Probe(std::uint32_t c, bool mouse = false) : colour(c), m_mouse(mouse) {}

    bool wantsMouse() const noexcept override { return m_mouse; }
    void paint(UIA::Picture& picture) override
    {
        ++paints;
        picture.fillArea(-overdraw, -overdraw, getWidth() + 2 * overdraw, getHeight() + 2 * overdraw, colour);
    }

    std::uint32_t colour;
    int overdraw = 0;
    int paints = 0;
    int repeatEvery = 0;
    std::vector<GP::Point> clicks;
    std::vector<int> timers;
    std::function<void()> onTimerDo;

protected:
    void onClick(const GP::Point& where) override { clicks.push_back(where); }
    void onTimer(int id) override
    {
        timers.push_back(id);
        if (repeatEvery > 0)
            startTimer(repeatEvery, id);
        if (onTimerDo)
            onTimerDo();
    }

private:
    bool m_mouse;
};

inline std::uint32_t colourAt(const UIA::Picture& picture, int x, int y)
{
    return picture.getRow(y)[x];
}

} // namespace QV::QTK::Testing
