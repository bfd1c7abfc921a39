#include <QV/UIA/ClipBoardFormatHandle.h>

#include <cstring>
#include <utility>

namespace QV::UIA {

const char* const ClipBoardFormatHandle::s_StdTextFormat = "velmora.unicodetext";
const char* const ClipBoardFormatHandle::s_StdFileListFormat = "velmora.filelist";

namespace {
// Each known type and the type directly above it; data is the top.
constexpr std::pair<const char*, const char*> kParents[] = {
    {ClipBoardFormatHandle::kUTF16PlainText, ClipBoardFormatHandle::kPlainText},
    {ClipBoardFormatHandle::kUTF8PlainText, ClipBoardFormatHandle::kPlainText},
    {ClipBoardFormatHandle::kPlainText, ClipBoardFormatHandle::kText},
    {ClipBoardFormatHandle::kText, ClipBoardFormatHandle::kData},
    {ClipBoardFormatHandle::kFileURL, ClipBoardFormatHandle::kURL},
    {ClipBoardFormatHandle::kURL, ClipBoardFormatHandle::kData},
};

const char* parentOf(const std::string& type)
{
    for (const auto& [child, parent] : kParents)
        if (type == child)
            return parent;
    return nullptr;
}
} // namespace

ClipBoardFormatHandle::ClipBoardFormatHandle(const char* name)
{
    if (name == nullptr)
        return;
    if (std::strcmp(name, s_StdTextFormat) == 0)
        m_type = kUTF16PlainText;
    else if (std::strcmp(name, s_StdFileListFormat) == 0)
        m_type = kFileURL;
    else
        m_type = name;
}

bool ClipBoardFormatHandle::conformsTo(const std::string& type, const std::string& to)
{
    if (type.empty() || to.empty())
        return false;
    if (type == to)
        return true;
    // The table is a tree of a few levels, so the walk ends quickly; every
    // type of a pasteboard, known or not, is data.
    if (to == kData)
        return true;
    for (const char* parent = parentOf(type); parent != nullptr; parent = parentOf(parent))
        if (to == parent)
            return true;
    return false;
}

} // namespace QV::UIA
