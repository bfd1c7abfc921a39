#pragma once

#include <QV/GP/CharSequence.h>

#include <string>

// There is no CoreFoundation on this platform. A CFURLRef is a GNUstep NSURL
// under its toll-free bridged name, kept opaque here so that plain C++ can
// hold and pass one without the Objective-C headers.
struct __CFURL;
typedef const struct __CFURL* CFURLRef;

namespace QV::GP {

class FileName;

// A URL, held as its text; a URI may also hold none. File URLs convert to
// and from file names.
//
// File names are passed on as the file system stores them: this platform's
// file systems do not normalise Unicode, so a name is not recomposed on its
// way from a URL (doing so could point at a different file, or none).
class URI
{
public:
    static constexpr const char* kFileScheme = "file://";

    URI() = default;
    // Takes the URL's absolute text; a null URL gives none. The text is kept
    // rather than the object, so the URL need not outlive the URI.
    explicit URI(const __CFURL* const& url);
    // The file URL of the name; none when the name cannot be converted.
    explicit URI(const FileName& name);

    // The URL text; empty when there is none.
    std::string get() const { return m_url; }
    bool isNull() const noexcept { return m_url.empty(); }

    // Both answer whether a URL results; on false the URI holds none.
    bool createFileLocation(const FileName& name);
    // Takes UTF-8 text as a URL when it is made of the characters that URLs
    // may hold, with well-formed percent escapes.
    bool createCanonicalLocation(const CharSequence<char>& text);

    // The colon-form path of a file URL on this machine; false for any other
    // URL or one whose path cannot be converted.
    bool getFileNameString(std::string& path) const;
    bool getFileName(FileName& name) const;

private:
    std::string m_url;
};

} // namespace QV::GP
