#include <QV/GP/DebugTrace.h>

#include <cstring>
#include <set>

namespace QV::GP {

namespace {

DebugTrace::eMode s_theMode = DebugTrace::eModeOff;
std::set<std::string> s_setDebugTraceGroups;
std::FILE* s_fErr = nullptr;

// Whether an entry of the set enables the group: the group is the entry
// itself or a group below it ("usb" enables "usb.dfu", not "usbhub").
bool enables(const std::string& entry, const char* group)
{
    if (entry.empty() || std::strncmp(group, entry.c_str(), entry.size()) != 0)
        return false;
    const char next = group[entry.size()];
    return next == '\0' || next == '.';
}

bool isInSet(const char* group)
{
    for (const std::string& entry : s_setDebugTraceGroups)
        if (enables(entry, group))
            return true;
    return false;
}

} // namespace

bool DebugTrace::isGroupEnabled(const char* group)
{
    if (!group || group[0] == '\0' || group[0] == '+')
        return true;
    switch (s_theMode) {
    case eModeFilter:
        return isInSet(group[0] == '-' ? group + 1 : group);
    case eModeFilterMarked:
        return group[0] != '-' || isInSet(group + 1);
    default:
        return false;
    }
}

void DebugTrace::printLine(const char* group, const CharSequence<char>& text)
{
    if (!isGroupEnabled(group))
        return;
    std::string line;
    if (group) {
        const char* name = (group[0] == '-' || group[0] == '+') ? group + 1 : group;
        if (name[0] != '\0')
            line.append(name).append(": ");
    }
    if (text.data())
        line.append(text.data(), text.length());
    line.push_back('\n');
    // One write per line, so that lines of different threads do not mix.
    std::FILE* out = s_fErr ? s_fErr : stderr;
    std::fwrite(line.data(), 1, line.size(), out);
    if (s_fErr)
        std::fflush(s_fErr);
}

void DebugTrace::clearGroupFilter()
{
    s_setDebugTraceGroups.clear();
}

void DebugTrace::setMode(eMode mode) noexcept
{
    s_theMode = mode;
}

void DebugTrace::addGroup(const std::string& group)
{
    s_setDebugTraceGroups.insert(group);
}

void DebugTrace::setTraceFile(std::FILE* file)
{
    fcloseall();
    s_fErr = file;
}

void fcloseall()
{
    if (s_fErr)
        std::fclose(s_fErr);
    s_fErr = nullptr;
}

} // namespace QV::GP
