// An application with two standalone windows, "UIA Drag One" and "UIA Drag
// Two", each a drag source and a drop target, writing what happens to the
// file named by UIA_TEST_LOG, one line each:
//   content NAME L T W H         the window's content area on screen
//   request NAME internal|text|other   kEventDragRequest and what the drag holds
//   drop NAME EFFECT TEXT        kEventDragReceive (TEXT for text drags)
//   leave NAME                   kEventDragLeave
//   finished NAME RESULT         kEventDragFinished at the drag's source
// A press and a move start a drag through the window's drop source:
// UIA_DRAG names what each drag carries, in order, separated by commas (the
// last one stays): internal drags the window's own record, text a text,
// forge the record of another process: the internal type named in
// the file UIA_FORGE_FROM, with the record address written there, as any X
// program could offer it. Each process writes its own type name and record
// address to UIA_TYPE_FILE when set. UIA_WINDOWS=1 shows only the first
// window, at UIA_LEFT.
#include "TestLog.h"
#include "LayerModule.h"

#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/DragDrop.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/DropSource.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/Picture.h>
#include <QV/UIA/StandaloneWindow.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace QV::UIA;
namespace GP = QV::GP;

using QV::UIA::Testing::note;

std::string setting(const char* name, const char* otherwise = "")
{
    const char* value = std::getenv(name);
    return value ? value : otherwise;
}

// Another process's record as a forger offers it: sixteen bytes under a
// type name read from elsewhere.
class ForgedFormat : public RawDataClipBoardFormat
{
public:
    ForgedFormat(const ClipBoardFormatHandle& handle, unsigned long long address)
        : RawDataClipBoardFormat(handle), m_address(address)
    {
    }
    bool readRawData(const void*, unsigned long) override { return false; }
    void writeRawData(void* destination) const override
    {
        std::memcpy(destination, &m_address, sizeof m_address);
        std::memset(static_cast<char*>(destination) + sizeof m_address, 0, 8);
    }
    unsigned long getRawDataSize() const override { return 16; }

private:
    unsigned long long m_address;
};

class DragWindow : public StandaloneWindow, public DropSource
{
public:
    DragWindow(std::string name, std::uint32_t colour, unsigned formatId)
        : m_name(std::move(name)), m_record(formatId), m_format(formatId)
    {
        m_picture.setSize(200, 150, true);
        m_picture.clear(colour);
    }

    const DragDropData& record() const { return m_record; }

    bool canDragStart(const GP::Point&) const override { return true; }

    bool onEvent(unsigned code, EventData* data) override
    {
        if (code >= kEventMouseButton && code <= kEventMouseLeave) {
            if (handleDropSourceMouseEvent(code, data) == kStartDrag)
                startDrag();
            return true;
        }
        switch (code) {
        case kEventPaint:
            static_cast<PaintEventData*>(data)->deviceContext->updateFromPicture(m_picture, false);
            if (!m_contentNoted) {
                m_contentNoted = true;
                GP::Point origin{0, 0};
                toScreen(origin);
                const GP::Point size = getSize(true);
                note("content " + m_name + " " + std::to_string(origin.x) + " " + std::to_string(origin.y) + " "
                     + std::to_string(size.x) + " " + std::to_string(size.y));
            }
            return true;
        case kEventDragRequest: {
            auto* request = static_cast<DragDropRequestEventData*>(data);
            const IDragDropDelegate& delegate = getDragDropDelegate();
            const char* holds = delegate.getFormat(*request, m_format) ? "internal"
                                : delegate.isExternalText(*request)   ? "text"
                                                                      : "other";
            if (m_lastRequest != holds)
                note("request " + m_name + " " + holds);
            m_lastRequest = holds;
            request->target = this;
            request->effect = DragDropSupport::kDropEffectCopy;
            return true;
        }
        case kEventDragReceive: {
            auto* receive = static_cast<DragDropReceiveEventData*>(data);
            const auto text = getDragDropDelegate().getExternalText(*receive);
            note("drop " + m_name + " " + std::to_string(receive->effect) + " " + text.value_or(""));
            return true;
        }
        case kEventDragLeave:
            m_lastRequest.clear();
            note("leave " + m_name);
            return true;
        case kEventDragFinished:
            note("finished " + m_name + " " + std::to_string(static_cast<DragDropFinishedEventData*>(data)->result));
            return true;
        default:
            return StandaloneWindow::onEvent(code, data);
        }
    }

private:
    void startDrag()
    {
        // One kind per drag, in order; the last one stays.
        const std::string kinds = setting("UIA_DRAG", "internal");
        std::size_t start = 0;
        for (int i = 0; i < s_drags && kinds.find(',', start) != std::string::npos; ++i)
            start = kinds.find(',', start) + 1;
        const std::string kind = kinds.substr(start, kinds.find(',', start) - start);
        ++s_drags;
        const IDragDropDelegate& delegate = getDragDropDelegate();
        if (kind == "text") {
            delegate.DoDragText("dragged text ü", DragDropSupport::kDropEffectCopy);
        } else if (kind == "forge") {
            std::ifstream in(setting("UIA_FORGE_FROM"));
            std::string type;
            unsigned long long address = 0;
            in >> type >> std::hex >> address;
            const ClipBoardFormatHandle handle(type.c_str());
            DragDropManager::DoDragWithCallback(this, ForgedFormat(handle, address), DragDropSupport::kDropEffectCopy,
                                                nullptr);
        } else {
            delegate.DoDragWithCallback(this, m_record, DragDropSupport::kDropEffectCopy, this, nullptr);
        }
    }

    static inline int s_drags = 0;
    std::string m_name;
    DragDropData m_record;
    DragDropFormat m_format;
    Picture m_picture;
    bool m_contentNoted = false;
    std::string m_lastRequest;
};

class DragApplication : public Application
{
public:
    bool init() override
    {
        if (!Application::init())
            return false;
        const unsigned formatId = getDragDropDelegate().registerDNDFormat("uia.test.record");
        const int left = std::atoi(setting("UIA_LEFT", "40").c_str());
        const int count = setting("UIA_WINDOWS") == "1" ? 1 : 2;
        const char* names[] = {"One", "Two"};
        const std::uint32_t colours[] = {0xff3060c0, 0xffc06030};
        for (int i = 0; i < count; ++i) {
            m_windows[i] = std::make_unique<DragWindow>(names[i], colours[i], formatId);
            Window::CreateData data;
            data.flags = WindowBase::kCreateContentSize | WindowBase::kCreatePosition;
            const int x = left + i * 260;
            data.rectangle = {x, 60, x + 200, 60 + 150};
            data.setTitle((std::string("UIA Drag ") + names[i]).c_str());
            if (!m_windows[i]->create(data))
                return false;
            m_windows[i]->show(true);
        }
        if (const std::string file = setting("UIA_TYPE_FILE"); !file.empty()) {
            std::ofstream out(file);
            out << InternalClipBoardFormat::typeName() << " " << std::hex
                << reinterpret_cast<std::uintptr_t>(&m_windows[0]->record()) << "\n";
        }
        return true;
    }

private:
    std::unique_ptr<DragWindow> m_windows[2];
};

QV::UIA::Testing::LayerModule<DragApplication> theModule(QV::GP::makeFileTypeMacMagic("QVDD"), "UIA Drag Test");

} // namespace
