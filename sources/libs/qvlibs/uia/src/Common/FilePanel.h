#pragma once

// What the file dialog asks of the platform's panels, in plain terms: the
// platform code never sees a file name, only POSIX paths and URLs.

#include <QV/GP/URI.h>

#include <functional>
#include <string>
#include <vector>

namespace QV::UIA::DETAIL {

struct FilePanelRequest {
    enum eKind { eOpenFile, eSaveFile, eChooseFolder };
    eKind kind = eOpenFile;
    // Empty: the panel's own title.
    std::string title;
    // The POSIX folder to open at; empty: the panel's own choice.
    std::string folder;
    // The text of a save panel's name field.
    std::string name;
    // Empty: every type may be chosen.
    std::vector<std::string> allowedExtensions;
    bool allowsOtherTypes = true;
    bool canCreateDirectories = true;
    bool showExtensions = false;
    std::function<void(void* savePanel)> beforeSavePanelRuns;
};

// Runs the panel application-modal. True when the user confirmed; `chosen`
// then holds the panel's (first) URL, or none when it had none.
bool runPlatformFilePanel(const FilePanelRequest& request, GP::URI& chosen);

} // namespace QV::UIA::DETAIL
