#include <QV/GP/StringUtil.h>
#include <QV/UIA/DragDrop.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/ExchangeData.h>
#include <QV/UIA/FileListClipBoardFormat.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/TextClipBoardFormat.h>

namespace QV::UIA {

namespace {
// Installed before the entry point, so that a window never finds none.
std::unique_ptr<IDragDropDelegate>& installedDelegate()
{
    static std::unique_ptr<IDragDropDelegate> delegate = std::make_unique<NOPDragDropDelegate>();
    return delegate;
}
[[maybe_unused]] const bool s_installedAtStart = (installedDelegate(), true);

class WindowingDragDropDelegate : public IDragDropDelegate
{
public:
    bool getFormat(const DragEventData& event, ClipBoardFormat& format) const override
    {
        return event.exchangeData != nullptr && event.exchangeData->getFormat(format);
    }

    bool containsFormat(const DragEventData& event, const ClipBoardFormatHandle& handle) const override
    {
        return event.exchangeData != nullptr && event.exchangeData->containsFormat(handle);
    }

    const DragDropData* getFormat(const DragEventData& event, const DragDropFormat& format) const override
    {
        const DragDropData* data = getInternalDragDropData(event);
        return data != nullptr && data->getFormatId() == format.getId() ? data : nullptr;
    }

    bool containsFormat(const DragEventData& event, const DragDropFormat& format) const override
    {
        return getFormat(event, format) != nullptr;
    }

    void* getOSHandle(const DragEventData& event) const override
    {
        return event.exchangeData != nullptr ? event.exchangeData->getPasteboard() : nullptr;
    }

    std::optional<std::vector<GP::FileName>> getExternalFileList(const DragEventData& event) const override
    {
        FileListClipBoardFormat files;
        if (!getFormat(event, files))
            return std::nullopt;
        return std::move(files.getFiles());
    }

    std::optional<std::string> getExternalText(const DragEventData& event) const override
    {
        TextClipBoardFormat text;
        if (!event.getFormat(text))
            return std::nullopt;
        return GP::StringUtil::fromUTF_filter(text.getValue());
    }

    // The record is followed only when it is the one this process put on
    // the drag it runs now: data of the internal type may come from any
    // program, and its pointers would point anywhere.
    const DragDropData* getInternalDragDropData(const DragEventData& event) const override
    {
        InternalClipBoardFormat internal;
        if (!getFormat(event, internal) || !DragDropManager::isCurrentDrag(internal.getData(), internal.getWindow()))
            return nullptr;
        return internal.getData();
    }

    bool isExternalText(const DragEventData& event) const override
    {
        return event.containsFormat(TextClipBoardFormat::FormatHandle());
    }

    bool isExternalFileList(const DragEventData& event) const override
    {
        return event.containsFormat(FileListClipBoardFormat::FormatHandle());
    }

    unsigned registerDNDFormat(const char* name) const override { return DragDropManager::registerFormat(name); }

    void DoDragText(const std::string& text, DragDropSupport::DropEffect effects) const override
    {
        DragDropManager::DoDragWithCallback(nullptr, TextClipBoardFormat(text), effects, nullptr);
    }

    void DoDrag(const DragDropData& data, DragDropSupport::DropEffect effects, WindowBase* window,
                const DragDropSupport::DragImage* image) const override
    {
        DoDragWithCallback(nullptr, data, effects, window, image);
    }

    void DoDragWithCallback(EventTarget* receiver, const DragDropData& data, DragDropSupport::DropEffect effects,
                            WindowBase* window, const DragDropSupport::DragImage* image) const override
    {
        DragDropManager::DoDragWithCallback(receiver, InternalClipBoardFormat(&data, window), effects, image);
    }
};
} // namespace

std::unique_ptr<IDragDropDelegate> makeWindowingDragDropDelegate()
{
    return std::make_unique<WindowingDragDropDelegate>();
}

void setDragDropDelegate(std::unique_ptr<IDragDropDelegate> delegate)
{
    installedDelegate() = delegate ? std::move(delegate) : std::make_unique<NOPDragDropDelegate>();
}

IDragDropDelegate& getDragDropDelegate()
{
    return *installedDelegate();
}

bool DragEventData::getFormat(ClipBoardFormat& format) const
{
    return getDragDropDelegate().getFormat(*this, format);
}

bool DragEventData::containsFormat(const ClipBoardFormatHandle& handle) const
{
    return getDragDropDelegate().containsFormat(*this, handle);
}

const DragDropData* DNDDelegate::getInternalDragDropData(const DragEventData& event)
{
    return getDragDropDelegate().getInternalDragDropData(event);
}

} // namespace QV::UIA
