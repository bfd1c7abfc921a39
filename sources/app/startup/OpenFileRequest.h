#pragma once

namespace QV {

// The platform's request to open a file, as the delegate answers it: with a
// running application, the open-file event (whose handled flag is the
// answer); before there is one, the file is kept for the application.
// False when the URL does not name a file on this machine.
//
// Plain C++ apart from the delegate, because the file-name header brings in
// Boost, which Objective-C++ sources cannot include.
bool openFileRequest(const char* fileURL);

} // namespace QV
