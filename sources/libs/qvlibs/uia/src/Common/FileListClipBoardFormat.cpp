#include <QV/GP/FileTypeManager.h>
#include <QV/GP/URI.h>
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/FileListClipBoardFormat.h>

#include <algorithm>
#include <utility>

namespace QV::UIA {

FileListClipBoardFormat::FileListClipBoardFormat() : ClipBoardFormat(FormatHandle()) {}

FileListClipBoardFormat::FileListClipBoardFormat(std::vector<GP::FileName> files)
    : ClipBoardFormat(FormatHandle()), m_files(std::move(files))
{
}

const ClipBoardFormatHandle& FileListClipBoardFormat::FormatHandle()
{
    static const ClipBoardFormatHandle handle(ClipBoardFormatHandle::s_StdFileListFormat);
    return handle;
}

void FileListClipBoardFormat::notifyNumItems(unsigned long count)
{
    // The count comes from another program: room is made only for a
    // plausible number, the list grows past it as items really arrive.
    constexpr unsigned long kMostReserved = 4096;
    m_files.reserve(m_files.size() + std::min(count, kMostReserved));
}

bool FileListClipBoardFormat::addRawData(const unsigned char* data, long length)
{
    if (data == nullptr || length <= 0)
        return true;
    GP::URI uri;
    GP::FileName name;
    if (uri.createCanonicalLocation(
            GP::CharSequence<char>(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)))
        && uri.getFileName(name)) {
        GP::FileTypeManager::determineType(name);
        m_files.push_back(std::move(name));
    }
    return true;
}

void FileListClipBoardFormat::writeOSData(std::vector<ClipBoardItemData>& items) const
{
    for (const GP::FileName& file : m_files) {
        const std::string text = GP::URI(file).get();
        items.emplace_back(text.begin(), text.end());
    }
}

} // namespace QV::UIA
