#pragma once

#include <QV/GP/FileTypeMacMagic.h>

namespace QV::GP {

// The running application's signature and name, as the foundation knows them.
// The signature is the creator code of files the library creates; the name is
// the default title of message boxes. Both exist from load ("????" and the
// maker's name) so that a failure before start-up can still be reported.
//
// Thread affinity: set on the main thread during start-up; read anywhere.
class Application
{
public:
    Application() = delete;

    static void setSignature(FileTypeMacMagic signature) noexcept;
    static FileTypeMacMagic getSignature() noexcept;

    // Copies at most 255 bytes of the UTF-8 name and always terminates it. A
    // cut may fall inside a multi-byte character; readers of the name filter
    // malformed text anyway. Null is ignored.
    static void setName(const char* name) noexcept;
    static const char* getName() noexcept;

    static constexpr unsigned kNameBufferSize = 256;
};

} // namespace QV::GP
