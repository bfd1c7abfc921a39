#pragma once

#include <string>

namespace QV::UIA {

// Names one pasteboard type. The system's own names for its standard types
// stand for the platform's types; any other name is a type of its own.
class ClipBoardFormatHandle
{
public:
    // The platform types the layer knows, in the platform's type-identifier
    // form, and how they are related (conformsTo).
    static constexpr const char* kUTF16PlainText = "public.utf16-plain-text";
    static constexpr const char* kUTF8PlainText = "public.utf8-plain-text";
    static constexpr const char* kPlainText = "public.plain-text";
    static constexpr const char* kText = "public.text";
    static constexpr const char* kFileURL = "public.file-url";
    static constexpr const char* kURL = "public.url";
    static constexpr const char* kData = "public.data";

    static const char* const s_StdTextFormat;     // "velmora.unicodetext"
    static const char* const s_StdFileListFormat; // "velmora.filelist"

    // The system's text and file-list names become the platform's UTF-16
    // text and file URL types; every other name stands as it is.
    explicit ClipBoardFormatHandle(const char* name);

    const std::string& getType() const noexcept { return m_type; }

    // Whether data of type `type` may be read as type `to`: the same type,
    // or one that the small table of platform types places beneath it
    // (UTF-16 and UTF-8 text are plain text, which is text; a file URL is a
    // URL; all of them are data).
    static bool conformsTo(const std::string& type, const std::string& to);

private:
    std::string m_type;
};

} // namespace QV::UIA
