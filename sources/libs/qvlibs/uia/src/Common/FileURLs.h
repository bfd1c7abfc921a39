#pragma once

// File URLs and POSIX paths for the platform code, which cannot include the
// file-name headers (Boost's headers and Objective-C do not mix).

#include <string>

namespace QV::UIA::DETAIL {

// The file URL of a POSIX path; empty when it cannot be made.
std::string fileURLFromPath(const std::string& path);
// The POSIX path of a file URL of this machine; empty for any other text.
std::string pathFromFileURL(const std::string& url);

} // namespace QV::UIA::DETAIL
