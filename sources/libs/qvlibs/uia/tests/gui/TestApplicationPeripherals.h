#pragma once

#include <string>

// The moment (CLOCK_MONOTONIC nanoseconds) and the frame of each display in
// the display manager's order, as "NS L,T,R,B L,T,R,B...".
std::string describeDisplays();

// Runs the file dialog that UIA_TEST_DIALOG names ("open", "save" or
// "folder"; open by default) at the POSIX path UIA_TEST_DIALOG_AT, titled
// "UIA Test Dialog", and answers "file-dialog true <colon-form name>" or
// "file-dialog false".
std::string runFileDialogFromSettings();
