#pragma once

#include <QV/GP/FileName.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace QV::GP {
class FileTypeGroupDescr;
class URI;
}

namespace QV::UIA {

class WindowBase;

// The system's open, save and choose-folder panels, run application-modal.
// The chosen location comes back as a file name in the colon form.
//
// Thread affinity: main thread; doModal runs a nested event loop until the
// panel closes.
class FileDialog
{
public:
    enum eFileAction : std::int32_t
    {
        eActionOpenFile = 0,
        eActionSaveFile = 1,
        eActionChooseFolder = 2,
    };

    // Called with the save panel (an NSSavePanel) just before it runs.
    using SavePanelCallback = std::function<void(void* savePanel)>;

    FileDialog() = default;

    // Empty gives the system's own title.
    void setCaption(const std::string& caption) { m_caption = caption; }
    // Where the panel opens; a file also fills in a save panel's name.
    void setInitialFileOrDirectory(const GP::FileName& name) { m_initial = name; }
    // The types that open and save panels offer. The standard group 0 among
    // them lets the user choose files of any other type as well.
    void setFileTypeGroups(std::vector<const GP::FileTypeGroupDescr*> groups) { m_groups = std::move(groups); }
    void setCanCreateDirectories(bool can) noexcept { m_canCreateDirectories = can; }
    void setShowExtensions(bool show) noexcept { m_showExtensions = show; }
    void setSavePanelCallback(SavePanelCallback callback) { m_savePanelCallback = std::move(callback); }

    // The choice of the last doModal that answered true; empty otherwise.
    const GP::FileName& getFileName() const noexcept { return m_fileName; }
    eFileAction getAction() const noexcept { return m_action; }

    // Runs the panel of the action. True when the user confirmed a choice
    // that converts to a file name; false when the user cancelled, when the
    // chosen location has no file name, and for an unknown action. The
    // window is not used: the panel is application-modal.
    bool doModal(eFileAction action, WindowBase* window);

private:
    GP::FileName m_fileName;
    GP::FileName m_initial;
    eFileAction m_action = eActionOpenFile;
    std::vector<const GP::FileTypeGroupDescr*> m_groups;
    bool m_canCreateDirectories = true;
    bool m_showExtensions = false;
    std::string m_caption;
    SavePanelCallback m_savePanelCallback;
};

namespace DETAIL {

// The extensions of every type in the groups other than the standard group
// 0, in order and without repeats ("*", any extension, is not one), and
// whether the standard group 0 is among them, which allows other types.
struct AllowedFileTypes {
    std::vector<std::string> extensions;
    bool allowsOthers = false;
};
AllowedFileTypes allowedFileTypes(const std::vector<const GP::FileTypeGroupDescr*>& groups);

// The POSIX folder a panel opens at for the initial file or directory: the
// folder of a file, the directory itself; empty when there is none or it
// does not convert.
std::string initialFolder(const GP::FileName& initial);

// The chosen location from the panel's URL: its file name with its
// type, the standard directory type for a chosen folder. False when the URL
// names no file on this machine that converts to a file name.
bool chosenFileName(const GP::URI& url, FileDialog::eFileAction action, GP::FileName& name);

} // namespace DETAIL

} // namespace QV::UIA
