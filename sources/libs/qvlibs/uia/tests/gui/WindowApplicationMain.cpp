// An application with one standalone window that paints a known picture
// and writes every input and window event it receives to the file named by
// UIA_TEST_LOG, one line each:
//   content L T W H        the content area on screen, after the first paint
//   paint                  one paint event drawn
//   button B S X Y         kEventMouseButton (button, state, position)
//   drag X Y               kEventMouseDrag
//   move X Y, enter, leave kEventMouseMove, kEventMouseEnter, kEventMouseLeave
//   wheel AXIS DELTA       kEventMouseWheel
//   key-down 0xWORD        kEventKeyDown (key word)
//   sized W H              kEventWindowSized (content size)
//   close-request allow|refuse, window-destroyed
// The key P puts the pointer at (50, 60) of the content through the cursor
// service and logs "pointer-moved". The key F asks for full-screen mode twice and logs "full-screen" with
// whether the window is in it. The key Q asks the platform to close the
// window; with
// UIA_WINDOW_REFUSE_FIRST_CLOSE=1 the first close request is refused.
// UIA_WINDOW_BUSY_AFTER_SHOW_MS=N makes the launch go on that long after the
// window is shown, without the run loop (as a launch with more to do than
// the window would), and logs "busy" when it starts.
// The picture is the one TestPicture.h describes.
#include "TestLog.h"
#include "LayerModule.h"
#include "OneWindowApplication.h"
#include "TestPicture.h"

#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/StandaloneWindow.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

void askWindowToClose(void* view);

namespace {

using namespace QV::UIA;
namespace GP = QV::GP;

using QV::UIA::Testing::note;

std::string str(long value)
{
    return std::to_string(value);
}

class PictureWindow : public StandaloneWindow
{
public:
    static Window::CreateData createData()
    {
        Window::CreateData data;
        data.flags = WindowBase::kCreateContentSize | WindowBase::kCreatePosition;
        data.rectangle = {40, 60, 40 + QV::UIA::Testing::kTestPictureWidth, 60 + QV::UIA::Testing::kTestPictureHeight};
        data.style = WindowBase::kStyleResizable;
        data.setTitle("UIA Picture Window");
        return data;
    }

    PictureWindow()
    {
        QV::UIA::Testing::fillTestPicture(m_picture, QV::UIA::Testing::kTestPictureWidth,
                                          QV::UIA::Testing::kTestPictureHeight);
        const char* refuse = std::getenv("UIA_WINDOW_REFUSE_FIRST_CLOSE");
        m_refuseClose = refuse && std::string(refuse) == "1";
    }

    bool onEvent(unsigned code, EventData* data) override
    {
        switch (code) {
        case kEventPaint: {
            static_cast<PaintEventData*>(data)->deviceContext->updateFromPicture(m_picture, hasAlphaBlending());
            note("paint");
            if (!m_contentNoted) {
                m_contentNoted = true;
                GP::Point origin{0, 0};
                toScreen(origin);
                const GP::Point size = getSize(true);
                note("content " + str(origin.x) + " " + str(origin.y) + " " + str(size.x) + " " + str(size.y));
            }
            return true;
        }
        case kEventMouseButton: {
            auto* button = static_cast<MouseButtonEventData*>(data);
            note("button " + str(button->button) + " " + str(button->state) + " " + str(button->position.x) + " "
                 + str(button->position.y));
            return true;
        }
        case kEventMouseDrag: {
            auto* drag = static_cast<MouseEventData*>(data);
            note("drag " + str(drag->position.x) + " " + str(drag->position.y));
            return true;
        }
        case kEventMouseMove: {
            auto* move = static_cast<MouseEventData*>(data);
            note("move " + str(move->position.x) + " " + str(move->position.y));
            return true;
        }
        case kEventMouseEnter:
            note("enter");
            return true;
        case kEventMouseLeave:
            note("leave");
            return true;
        case kEventMouseWheel: {
            auto* wheel = static_cast<MouseWheelEventData*>(data);
            note("wheel " + str(wheel->axis) + " " + str(wheel->delta));
            return true;
        }
        case kEventKeyDown: {
            auto* key = static_cast<KeyEventData*>(data);
            char word[32];
            std::snprintf(word, sizeof word, "key-down 0x%x", key->keyWord);
            note(word);
            if ((key->keyWord & KeyEventData::kKeyCodeMask) == 'Q')
                askWindowToClose(getNSView());
            if ((key->keyWord & KeyEventData::kKeyCodeMask) == 'P') {
                GP::Point point{50, 60};
                toScreen(point);
                CursorManager::setCursorPos(point);
                note("pointer-moved");
            }
            if ((key->keyWord & KeyEventData::kKeyCodeMask) == 'F' && getImpl()) {
                getImpl()->setFullScreenMode({0, 0});
                getImpl()->setFullScreenMode({0, 0});
                note(std::string("full-screen ") + (getImpl()->isFullScreenMode() ? "on" : "off"));
            }
            return true;
        }
        case kEventWindowSized: {
            const GP::Point size = getSize(true);
            note("sized " + str(size.x) + " " + str(size.y));
            return true;
        }
        case kEventResizeProposal: {
            auto* limits = static_cast<ResizeProposalEventData*>(data);
            limits->limits = ResizeProposalEventData::kMinimumValid | ResizeProposalEventData::kMaximumValid;
            limits->minWidth = 200;
            limits->minHeight = 150;
            limits->maxWidth = 700;
            limits->maxHeight = 500;
            return true;
        }
        case kEventCloseRequest: {
            auto* request = static_cast<CloseRequestEventData*>(data);
            request->allow = !m_refuseClose;
            note(std::string("close-request ") + (m_refuseClose ? "refuse" : "allow"));
            m_refuseClose = false;
            return true;
        }
        case kEventWindowDestroyed:
            note("window-destroyed");
            break;
        default:
            break;
        }
        return StandaloneWindow::onEvent(code, data);
    }

private:
    Picture m_picture;
    bool m_contentNoted = false;
    bool m_refuseClose = false;
};

class WindowApplication : public QV::UIA::Testing::OneWindowApplication<PictureWindow>
{
public:
    bool init() override
    {
        if (!OneWindowApplication::init())
            return false;
        if (const char* busy = std::getenv("UIA_WINDOW_BUSY_AFTER_SHOW_MS")) {
            note("busy");
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(busy)));
        }
        return true;
    }
};

QV::UIA::Testing::LayerModule<WindowApplication> theModule(QV::GP::makeFileTypeMacMagic("QVTW"),
                                                    "UIA Window Test");

} // namespace
