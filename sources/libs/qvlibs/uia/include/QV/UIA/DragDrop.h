#pragma once

#include <QV/GP/FileName.h>
#include <QV/UIA/DragDropSupport.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace QV::UIA {

class WindowBase;

// The one object that the toolkit asks about drags: what a dragged item
// holds, and starting drags of its own. A do-nothing delegate is installed
// from program start; the application installs the pasteboard delegate.
//
// Thread affinity: main thread.
class IDragDropDelegate
{
public:
    virtual ~IDragDropDelegate() = default;

    virtual bool getFormat(const DragEventData& event, ClipBoardFormat& format) const = 0;
    virtual bool containsFormat(const DragEventData& event, const ClipBoardFormatHandle& handle) const = 0;
    // The in-process record of that kind, but only for the drag this
    // process started and still runs; null otherwise.
    virtual const DragDropData* getFormat(const DragEventData& event, const DragDropFormat& format) const = 0;
    virtual bool containsFormat(const DragEventData& event, const DragDropFormat& format) const = 0;
    // The platform pasteboard of the drag (a DETAIL::Pasteboard), or null.
    virtual void* getOSHandle(const DragEventData& event) const = 0;
    virtual std::optional<std::vector<GP::FileName>> getExternalFileList(const DragEventData& event) const = 0;
    virtual std::optional<std::string> getExternalText(const DragEventData& event) const = 0;
    virtual const DragDropData* getInternalDragDropData(const DragEventData& event) const = 0;
    virtual bool isExternalText(const DragEventData& event) const = 0;
    virtual bool isExternalFileList(const DragEventData& event) const = 0;
    virtual unsigned registerDNDFormat(const char* name) const = 0;
    virtual void DoDragText(const std::string& text, DragDropSupport::DropEffect effects) const = 0;
    virtual void DoDrag(const DragDropData& data, DragDropSupport::DropEffect effects, WindowBase* window,
                        const DragDropSupport::DragImage* image) const = 0;
    // As DoDrag; `receiver` gets kEventDragFinished when the drag ends.
    virtual void DoDragWithCallback(EventTarget* receiver, const DragDropData& data,
                                    DragDropSupport::DropEffect effects, WindowBase* window,
                                    const DragDropSupport::DragImage* image) const = 0;
};

// Answers nothing and starts no drag.
class NOPDragDropDelegate : public IDragDropDelegate
{
public:
    bool getFormat(const DragEventData&, ClipBoardFormat&) const override { return false; }
    bool containsFormat(const DragEventData&, const ClipBoardFormatHandle&) const override { return false; }
    const DragDropData* getFormat(const DragEventData&, const DragDropFormat&) const override { return nullptr; }
    bool containsFormat(const DragEventData&, const DragDropFormat&) const override { return false; }
    void* getOSHandle(const DragEventData&) const override { return nullptr; }
    std::optional<std::vector<GP::FileName>> getExternalFileList(const DragEventData&) const override { return {}; }
    std::optional<std::string> getExternalText(const DragEventData&) const override { return {}; }
    const DragDropData* getInternalDragDropData(const DragEventData&) const override { return nullptr; }
    bool isExternalText(const DragEventData&) const override { return false; }
    bool isExternalFileList(const DragEventData&) const override { return false; }
    unsigned registerDNDFormat(const char*) const override { return 0; }
    void DoDragText(const std::string&, DragDropSupport::DropEffect) const override {}
    void DoDrag(const DragDropData&, DragDropSupport::DropEffect, WindowBase*,
                const DragDropSupport::DragImage*) const override
    {
    }
    void DoDragWithCallback(EventTarget*, const DragDropData&, DragDropSupport::DropEffect, WindowBase*,
                            const DragDropSupport::DragImage*) const override
    {
    }
};

// The delegate that works over the platform's drag pasteboard.
std::unique_ptr<IDragDropDelegate> makeWindowingDragDropDelegate();

// Installs the delegate, destroying the previous one; null installs a
// do-nothing delegate. Thread affinity: main thread.
void setDragDropDelegate(std::unique_ptr<IDragDropDelegate> delegate);
IDragDropDelegate& getDragDropDelegate();

class DNDDelegate
{
public:
    DNDDelegate() = delete;
    static const DragDropData* getInternalDragDropData(const DragEventData& event);
};

} // namespace QV::UIA
