// One full paint of an 800 x 600 standalone window to the screen: the view's
// paint event, the picture converted and drawn into the window's buffer,
// the buffer sent to the X server, and a round trip to the server so that it
// has taken every request before the clock stops. Beside it, the
// conversion of the picture alone. A GNUstep application: run it on a
// display, for example
//   xvfb-run -s "-screen 0 1024x768x24" build/bench/uia_paint_bench
#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/StandaloneWindow.h>

#include "Common/BitmapConversion.h"
#include "LayerModule.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

// Waits until the display server has handled every request sent so far.
void roundTripToDisplayServer();

namespace {

using namespace QV::UIA;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

void fill(Picture& picture)
{
    picture.setSize(kWidth, kHeight, true);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.getRow(y)[x] = 0xff000000u | std::uint32_t(x * 0x10101 + y * 0x100);
}

class PaintWindow : public StandaloneWindow
{
public:
    PaintWindow() { fill(picture); }
    bool onEvent(unsigned code, EventData* data) override
    {
        if (code == kEventPaint) {
            static_cast<PaintEventData*>(data)->deviceContext->updateFromPicture(picture, false);
            ++paints;
            return true;
        }
        return StandaloneWindow::onEvent(code, data);
    }
    Picture picture;
    long paints = 0;
};

PaintWindow* g_window = nullptr;

void BM_FullWindowPaint(benchmark::State& state)
{
    const long before = g_window->paints;
    for (auto _ : state) {
        g_window->invalidate();
        g_window->getImpl()->update();
        roundTripToDisplayServer();
    }
    if (g_window->paints - before != long(state.iterations()))
        state.SkipWithError("not every invalidation was painted");
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_FullWindowPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConversionOnly(benchmark::State& state)
{
    Picture picture;
    fill(picture);
    std::vector<std::uint8_t> rgba(std::size_t(kWidth) * kHeight * 4);
    for (auto _ : state) {
        DETAIL::BitmapConversion::toRGBA(picture, {0, 0, kWidth, kHeight}, rgba.data(), kWidth * 4, false);
        benchmark::DoNotOptimize(rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ConversionOnly)->Unit(benchmark::kMillisecond);

class BenchApplication : public Application
{
public:
    bool init() override
    {
        if (!Application::init())
            return false;
        m_window = std::make_unique<PaintWindow>();
        Window::CreateData data;
        data.flags = WindowBase::kCreateContentSize | WindowBase::kCreatePosition;
        data.rectangle = {0, 0, kWidth, kHeight};
        data.setTitle("Paint Benchmark");
        if (!m_window->create(data))
            return false;
        g_window = m_window.get();
        m_window->show(true);
        m_timer = setEventTimer(200, 0);
        return true;
    }
    bool onEvent(unsigned code, EventData* data) override
    {
        if (code != kEventTimer)
            return Application::onEvent(code, data);
        killEventTimer(m_timer);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        postQuit();
        return true;
    }

private:
    std::unique_ptr<PaintWindow> m_window;
    HEventTimer m_timer = nullptr;
};

QV::UIA::Testing::LayerModule<BenchApplication> theModule(QV::GP::makeFileTypeMacMagic("QVPB"),
                                                    "Paint Benchmark");

} // namespace
