#pragma once

#include <QV/GP/FileName.h>
#include <QV/UIA/ClipBoardFormat.h>

#include <vector>

namespace QV::UIA {

// A list of files, one file URL per pasteboard item. Items that are no file
// URL of this machine are passed over.
class FileListClipBoardFormat : public ClipBoardFormat
{
public:
    FileListClipBoardFormat();
    explicit FileListClipBoardFormat(std::vector<GP::FileName> files);

    static const ClipBoardFormatHandle& FormatHandle();

    void notifyNumItems(unsigned long count) override;
    // Always true: an item that names no file is no error of the list.
    bool addRawData(const unsigned char* data, long length) override;
    void writeOSData(std::vector<ClipBoardItemData>& items) const override;
    bool canHoldMultipleItems() const override { return true; }

    const std::vector<GP::FileName>& getFiles() const noexcept { return m_files; }
    std::vector<GP::FileName>& getFiles() noexcept { return m_files; }

private:
    std::vector<GP::FileName> m_files;
};

} // namespace QV::UIA
