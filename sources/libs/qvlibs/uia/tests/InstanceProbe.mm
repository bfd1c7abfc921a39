// Asks ApplicationInstanceSingleton once and prints "alone" or "conflict",
// then stays up holding (or not holding) the claim until it is ended, so that
// the instance test can start several side by side. With QV_PROBE_EXEC set it
// replaces itself with that program instead of staying up, to show that the
// claim does not pass to programs the application starts. QV_PROBE_NAME
// overrides the instance name passed (it may be empty).
#include <QV/UIA/ApplicationInstanceSingleton.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main()
{
    using QV::UIA::ApplicationInstanceSingleton;
    const char* name = std::getenv("QV_PROBE_NAME");
    const bool conflict =
        ApplicationInstanceSingleton::hasConflictingInstance(name ? name : "ZRV", ApplicationInstanceSingleton::eModeDefault);
    std::printf("%s\n", conflict ? "conflict" : "alone");
    std::fflush(stdout);
    if (const char* program = std::getenv("QV_PROBE_EXEC")) {
        execlp(program, program, "60", static_cast<char*>(nullptr));
        return 127;
    }
    for (;;)
        pause();
}
