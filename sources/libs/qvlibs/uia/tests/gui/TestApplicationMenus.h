// The test application's menus: a "Test" menu with a command that has a key
// equivalent, a command that validation disables, a command inserted
// disabled that nobody validates (so it ends up enabled), and the
// preferences and quit commands, which the application menu holds.
#pragma once

#include <QV/UIA/Application.h>
#include <QV/UIA/Menu.h>

#include <string>
#include <vector>

namespace TestMenus {

constexpr unsigned kCommandHello = QV::UIA::makeCommandId('h', 'e', 'l', 'o');
constexpr unsigned kCommandNotNow = QV::UIA::makeCommandId('n', 'o', 'n', 'o');
constexpr unsigned kCommandLater = QV::UIA::makeCommandId('l', 'a', 't', 'r');

// Builds the menu bar and installs it on the application.
void install(QV::UIA::Application& application);

// The answer to kEventCommandValidate: for kCommandNotNow the item is
// disabled and the question handled; every other goes unhandled.
bool validate(const QV::UIA::MenuUpdateEventData& data);

// Where the menus are on the screen, in X coordinates (top-left origin):
// "window X Y W H" for the window holding the menu bar, "bar TITLE X Y W H"
// for each item of that bar and "item TITLE X Y W H" for each item of a
// menu that is open.
std::vector<std::string> positions();

// The four characters of a command id.
std::string commandName(unsigned command);

} // namespace TestMenus
