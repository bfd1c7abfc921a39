#pragma once

#include <QV/UIA/ClipBoardFormat.h>

#include <string>

namespace QV::UIA {

class DragDropData;
class WindowBase;

// The in-process drag record and its source window, as two pointers in this
// process's byte order. Its type name holds an address of this program, so
// it differs between processes; still, any program that reads the type name
// from a drag can offer data of it, so the pointers read back are never
// trusted by themselves (see DragDropManager::isCurrentDrag).
class InternalClipBoardFormat : public RawDataClipBoardFormat
{
public:
    static constexpr unsigned long kRawSize = 2 * sizeof(void*);

    InternalClipBoardFormat();
    InternalClipBoardFormat(const DragDropData* data, WindowBase* window);

    static const ClipBoardFormatHandle& FormatHandle();
    // "velmora.application.internalclipboardformat.0x..." with an address
    // of this program.
    static const std::string& typeName();

    // Data shorter than kRawSize is refused.
    bool readRawData(const void* data, unsigned long size) override;
    void writeRawData(void* destination) const override;
    unsigned long getRawDataSize() const override { return kRawSize; }

    const DragDropData* getData() const noexcept { return m_data; }
    WindowBase* getWindow() const noexcept { return m_window; }

private:
    const DragDropData* m_data = nullptr;
    WindowBase* m_window = nullptr;
};

} // namespace QV::UIA
