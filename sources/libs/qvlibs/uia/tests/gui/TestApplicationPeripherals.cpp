// What the test application reports of the displays and runs of the file
// dialog, kept apart from its start-up and quitting.
#include "TestApplicationPeripherals.h"

#include <QV/GP/FileName.h>
#include <QV/UIA/DisplayManager.h>
#include <QV/UIA/FileDialog.h>

#include <boost/filesystem/path.hpp>

#include <cstdlib>
#include <ctime>

std::string describeDisplays()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::string text = std::to_string(std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec);
    for (const QV::UIA::Display& display : QV::UIA::DisplayManager::getDisplays()) {
        const QV::GP::Rect& f = display.frame;
        text += " " + std::to_string(f.left) + "," + std::to_string(f.top) + "," + std::to_string(f.right) + ","
                + std::to_string(f.bottom);
    }
    return text;
}

std::string runFileDialogFromSettings()
{
    const char* kind = std::getenv("UIA_TEST_DIALOG");
    const std::string action = kind ? kind : "open";
    QV::UIA::FileDialog dialog;
    if (const char* at = std::getenv("UIA_TEST_DIALOG_AT"))
        dialog.setInitialFileOrDirectory(QV::GP::FileName(boost::filesystem::path(at)));
    dialog.setCaption("UIA Test Dialog");
    const auto which = action == "save"     ? QV::UIA::FileDialog::eActionSaveFile
                       : action == "folder" ? QV::UIA::FileDialog::eActionChooseFolder
                                            : QV::UIA::FileDialog::eActionOpenFile;
    const bool chosen = dialog.doModal(which, nullptr);
    return std::string("file-dialog ") + (chosen ? "true " + dialog.getFileName().getFull() : "false");
}
