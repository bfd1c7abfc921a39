#include <QV/GP/FileTypeDescr.h>
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/URI.h>
#include <QV/UIA/FileDialog.h>

#include "FilePanel.h"

#include <algorithm>

namespace QV::UIA::DETAIL {

AllowedFileTypes allowedFileTypes(const std::vector<const GP::FileTypeGroupDescr*>& groups)
{
    AllowedFileTypes allowed;
    const GP::FileTypeGroupDescr* any = GP::FileTypeManager::getStdGroup(GP::FileTypeManager::eStdGroupUnknown);
    for (const GP::FileTypeGroupDescr* listed : groups) {
        const GP::FileTypeGroupDescr* group = GP::FileTypeManager::getGroupDescrFor(listed);
        if (group == nullptr || group == any) {
            allowed.allowsOthers = true;
            continue;
        }
        for (const GP::FileTypeDescr* type : group->m_members) {
            if (type == nullptr)
                continue;
            for (const std::string& extension : type->m_extensions) {
                // "*" stands for any extension; as an allowed type the panel
                // would take it for files that end in ".*".
                if (extension.empty() || extension == "*")
                    continue;
                if (std::find(allowed.extensions.begin(), allowed.extensions.end(), extension)
                    == allowed.extensions.end())
                    allowed.extensions.push_back(extension);
            }
        }
    }
    return allowed;
}

std::string initialFolder(const GP::FileName& initial)
{
    if (initial.getState() == GP::FileName::eStateEmpty)
        return {};
    // The volume and the directory path make the folder: a file's own name
    // is left out, and a directory's path already names it.
    const GP::FileName folder(initial.getVolume() + initial.getPath());
    if (folder.getState() != GP::FileName::eStateDirectory && folder.getState() != GP::FileName::eStateVolume)
        return {};
    return folder.getSystemPath(false, true);
}

bool chosenFileName(const GP::URI& url, FileDialog::eFileAction action, GP::FileName& name)
{
    name.clear();
    if (!url.getFileName(name) || name.getState() == GP::FileName::eStateEmpty) {
        name.clear();
        return false;
    }
    if (action == FileDialog::eActionChooseFolder)
        name.setType(GP::FileTypeManager::getStdType(GP::FileTypeManager::eStdTypeDirectory));
    else
        GP::FileTypeManager::determineType(name);
    return true;
}

} // namespace QV::UIA::DETAIL

namespace QV::UIA {

bool FileDialog::doModal(eFileAction action, WindowBase*)
{
    m_fileName.clear();
    m_action = action;
    DETAIL::FilePanelRequest request;
    switch (action) {
    case eActionOpenFile:
        request.kind = DETAIL::FilePanelRequest::eOpenFile;
        break;
    case eActionSaveFile:
        request.kind = DETAIL::FilePanelRequest::eSaveFile;
        break;
    case eActionChooseFolder:
        request.kind = DETAIL::FilePanelRequest::eChooseFolder;
        break;
    default:
        return false;
    }
    request.title = m_caption;
    request.folder = DETAIL::initialFolder(m_initial);
    if (m_initial.getState() == GP::FileName::eStateFile)
        request.name = m_initial.getName() + m_initial.getExtension();
    if (action != eActionChooseFolder && !m_groups.empty()) {
        DETAIL::AllowedFileTypes allowed = DETAIL::allowedFileTypes(m_groups);
        request.allowedExtensions = std::move(allowed.extensions);
        request.allowsOtherTypes = allowed.allowsOthers;
    }
    request.canCreateDirectories = m_canCreateDirectories;
    request.showExtensions = m_showExtensions;
    request.beforeSavePanelRuns = m_savePanelCallback;

    GP::URI chosen;
    if (!DETAIL::runPlatformFilePanel(request, chosen))
        return false;
    // A confirmed panel whose choice has no file name is no choice: the
    // caller would otherwise go on with an empty name.
    return DETAIL::chosenFileName(chosen, action, m_fileName);
}

} // namespace QV::UIA
