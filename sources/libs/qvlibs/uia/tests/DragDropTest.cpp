// Routing of drags to event targets, the registry of in-process formats,
// the drag-start state machine and the refusal of internal data that this
// process did not put on its own drag, without a display.
#include <QV/GP/Application.h>
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/DragDrop.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/DropSource.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/ExchangeData.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/TextClipBoardFormat.h>

#include "MemoryPasteboard.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace QV::UIA;
using QV::UIA::Testing::MemoryPasteboard;

// Records every event and observer event as "code" or "observed code", and
// answers requests as its test tells it to.
class Recorder : public EventTarget
{
public:
    explicit Recorder(std::vector<std::string>& log, std::string name) : m_log(log), m_name(std::move(name)) {}

    std::function<bool(DragDropRequestEventData&)> onRequest;
    bool acceptDrop = true;

    bool onEvent(unsigned code, EventData* data) override
    {
        m_log.push_back(m_name + " " + std::to_string(code));
        if (code == kEventDragRequest && onRequest)
            return onRequest(*static_cast<DragDropRequestEventData*>(data));
        if (code == kEventDragReceive)
            receivedEffect = static_cast<DragDropReceiveEventData*>(data)->effect;
        if (code == kEventDragFinished)
            finished = static_cast<DragDropFinishedEventData*>(data)->result;
        return code == kEventDragReceive ? acceptDrop : code == kEventDragFinished;
    }
    void onObserverEvent(unsigned code, EventData*) override { m_log.push_back(m_name + " observed " + std::to_string(code)); }

    std::uint32_t receivedEffect = 0;
    std::uint32_t finished = 0xffffffff;

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

class DragDropTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DragDropManager::reset();
        setDragDropDelegate(makeWindowingDragDropDelegate());
    }
    void TearDown() override
    {
        DragDropManager::reset();
        setDragDropDelegate(nullptr);
    }

    std::vector<std::string> log;
    Recorder a{log, "A"};
    Recorder b{log, "B"};
};

TEST_F(DragDropTest, AcceptedRequestChoosesTheTargetAndTheDropReachesIt)
{
    a.onRequest = [&](DragDropRequestEventData& request) {
        request.target = &a;
        request.effect = DragDropSupport::kDropEffectCopy | DragDropSupport::kDropEffectAcceptedOnly;
        request.receivers.push_back(&b);
        return true;
    };
    DragDropRequestEventData request;
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    DragDropReceiveEventData drop;
    EXPECT_TRUE(DragDropManager::handleDragReceiveEvent(&drop));
    EXPECT_EQ(drop.effect, DragDropSupport::kDropEffectCopy);
    EXPECT_EQ(log, (std::vector<std::string>{"A 1300", "A 1301", "B observed 1301", "A 1303", "B observed 1303"}));

    // The drop ended the drag: a second one reaches nobody.
    log.clear();
    EXPECT_FALSE(DragDropManager::handleDragReceiveEvent(&drop));
    EXPECT_TRUE(log.empty());
}

TEST_F(DragDropTest, AcceptedWithoutEffectMakesTheFirstReceiverTheTargetWithoutADrop)
{
    a.onRequest = [&](DragDropRequestEventData& request) {
        request.effect = DragDropSupport::kDropEffectAcceptedOnly;
        request.receivers = {&a, &b};
        return true;
    };
    DragDropRequestEventData request;
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    log.clear();
    DragDropReceiveEventData drop;
    EXPECT_FALSE(DragDropManager::handleDragReceiveEvent(&drop));
    EXPECT_EQ(log, (std::vector<std::string>{"A 1303", "A observed 1303", "B observed 1303"}));
}

TEST_F(DragDropTest, ChangeOfTargetAndLeavingSendLeaveToThePreviousTarget)
{
    a.onRequest = [&](DragDropRequestEventData& request) {
        request.target = &a;
        request.effect = DragDropSupport::kDropEffectMove;
        return true;
    };
    b.onRequest = [&](DragDropRequestEventData&) { return false; };
    DragDropRequestEventData request;
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    EXPECT_FALSE(DragDropManager::handleDragRequestEvent(nullptr, &request, &b));
    EXPECT_EQ(log, (std::vector<std::string>{"A 1300", "A 1300", "B 1300", "A 1303"}));

    log.clear();
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    // The answer is the target's: A handles no leave.
    DragDropLeavedEventData leave;
    EXPECT_FALSE(DragDropManager::handleDragLeavedEvent(&leave));
    EXPECT_FALSE(DragDropManager::handleDragLeavedEvent(&leave));
    EXPECT_EQ(log, (std::vector<std::string>{"A 1300", "A 1303"}));
}

// A target or receiver that goes while a drag runs (its window closed under
// the pointer) must not be sent the drop or the end of the drag.
TEST_F(DragDropTest, TargetDestroyedDuringTheDragIsNeverReachedAgain)
{
    auto gone = std::make_unique<Recorder>(log, "C");
    Recorder* const target = gone.get();
    target->onRequest = [target](DragDropRequestEventData& request) {
        request.target = target;
        request.effect = DragDropSupport::kDropEffectCopy;
        request.receivers.push_back(target);
        return true;
    };
    DragDropRequestEventData request;
    EXPECT_TRUE(DragDropManager::handleDragRequestEvent(nullptr, &request, target));
    gone.reset();
    log.clear();
    DragDropReceiveEventData drop;
    EXPECT_FALSE(DragDropManager::handleDragReceiveEvent(&drop));
    DragDropLeavedEventData leave;
    EXPECT_FALSE(DragDropManager::handleDragLeavedEvent(&leave));
    EXPECT_TRUE(log.empty());
}

TEST_F(DragDropTest, DragThatCannotStartReportsNothingStartedAtOnce)
{
    ExchangeData none(nullptr);
    DragDropManager::DoDragWithCallback(none, DragDropSupport::kDropEffectCopy, nullptr);
    EXPECT_FALSE(DragDropManager::isDragInProgress());
    EXPECT_FALSE(DragDropManager::handleDragFinishedEvent(DragDropSupport::kDropResultCopy));
}

TEST_F(DragDropTest, FormatsKeepTheirIdsAfterTheApplicationSignature)
{
    const unsigned first = DragDropManager::registerFormat("drag-test.first");
    const unsigned second = DragDropManager::registerFormat("drag-test.second");
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(DragDropManager::registerFormat("drag-test.first"), first);
    EXPECT_GT(first, QV::GP::Application::getSignature());
    EXPECT_EQ(getDragDropDelegate().registerDNDFormat("drag-test.second"), second);
    EXPECT_EQ(NOPDragDropDelegate().registerDNDFormat("drag-test.first"), 0u);
}

// Any program can offer data of the internal type, with pointers of its
// choosing: they are not followed, and the drag is refused unseen.
TEST_F(DragDropTest, ForgedInternalDataIsRefusedWithoutARequest)
{
    const DragDropFormat format(DragDropManager::registerFormat("drag-test.forged"));
    const DragDropData record(format.getId());
    auto board = std::make_shared<MemoryPasteboard>();
    std::vector<ClipBoardItemData> items;
    InternalClipBoardFormat(&record, nullptr).writeOSData(items);
    board->add(1, InternalClipBoardFormat::typeName(), items[0]);
    board->add(1, ClipBoardFormatHandle::kUTF8PlainText, {'h', 'i'});

    ExchangeData exchange(board);
    DragDropRequestEventData request;
    request.exchangeData = &exchange;
    a.onRequest = [&](DragDropRequestEventData& r) {
        r.target = &a;
        r.effect = DragDropSupport::kDropEffectCopy;
        return true;
    };
    EXPECT_FALSE(DragDropManager::handleDragRequestEvent(nullptr, &request, &a));
    EXPECT_TRUE(log.empty());

    const IDragDropDelegate& delegate = getDragDropDelegate();
    EXPECT_EQ(delegate.getInternalDragDropData(request), nullptr);
    EXPECT_EQ(delegate.getFormat(request, format), nullptr);
    EXPECT_FALSE(delegate.containsFormat(request, format));
    // What else the drag offers still reads.
    EXPECT_TRUE(delegate.isExternalText(request));
    EXPECT_EQ(delegate.getExternalText(request).value_or(""), "hi");
    EXPECT_FALSE(delegate.getExternalFileList(request).has_value());
    EXPECT_EQ(delegate.getOSHandle(request), board.get());
}

// A drop source whose clock the test sets.
class TestSource : public DropSource
{
public:
    bool canDragStart(const QV::GP::Point& position) const override { return position.x >= 0; }
    std::uint32_t clock = 1000;

protected:
    std::uint32_t now() const override { return clock; }
};

MouseButtonEventData press(int x, int y, std::uint32_t state = kMouseButtonPressed,
                           std::uint32_t button = kMouseButtonLeft)
{
    MouseButtonEventData data;
    data.position = {x, y};
    data.button = button;
    data.state = state;
    return data;
}

MouseEventData at(int x, int y)
{
    MouseEventData data;
    data.position = {x, y};
    return data;
}

TEST(DropSourceTest, MoveOfEightSquaredPixelsStartsTheDrag)
{
    TestSource source;
    auto down = press(10, 10);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &down), DropSource::kTracking);
    auto small = at(12, 11);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseDrag, &small), DropSource::kTracking);
    auto far = at(12, 12);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseMove, &far), DropSource::kStartDrag);
    EXPECT_FALSE(source.isArmed());
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseDrag, &far), DropSource::kNotInvolved);
}

TEST(DropSourceTest, OnlyAPlainLeftPressWhereADragMayStartArms)
{
    TestSource source;
    for (std::uint32_t state : {std::uint32_t(kMouseButtonReleased), std::uint32_t(kMouseButtonDoublePressed),
                                std::uint32_t(0), std::uint32_t(7)}) {
        auto down = press(10, 10, state);
        EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &down), DropSource::kNotInvolved) << state;
        EXPECT_FALSE(source.isArmed()) << state;
    }
    auto right = press(10, 10, kMouseButtonPressed, kMouseButtonRight);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &right), DropSource::kNotInvolved);
    auto outside = press(-1, 10);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &outside), DropSource::kNotInvolved);
    source.setEnabled(false);
    auto down = press(10, 10);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &down), DropSource::kNotInvolved);

    // A leave disarms; codes outside the mouse range change nothing.
    source.setEnabled(true);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &down), DropSource::kTracking);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventKeyDown, &down), DropSource::kNotInvolved);
    EXPECT_TRUE(source.isArmed());
    auto leave = at(10, 10);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseLeave, &leave), DropSource::kNotInvolved);
    EXPECT_FALSE(source.isArmed());
}

TEST(DropSourceTest, TimeOutHoldsTheDragBackEvenAcrossTheClocksWrap)
{
    TestSource source;
    source.setDragStartTimeout(300);
    source.clock = 0xffffff00; // 256 ms before the 32-bit clock wraps
    auto down = press(0, 0);
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseButton, &down), DropSource::kTracking);
    auto far = at(50, 50);
    source.clock += 200;
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseDrag, &far), DropSource::kTracking);
    source.clock += 100;
    EXPECT_EQ(source.handleDropSourceMouseEvent(kEventMouseDrag, &far), DropSource::kStartDrag);
}

} // namespace
