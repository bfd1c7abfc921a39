#include <QV/UIA/External.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace QV::UIA::External {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The characters RFC 3986 lets a URL hold, '%' apart.
bool isURLCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr("-._~:/?#[]@!$&'()*+,;=", c) != nullptr;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i])
            return false;
    }
    return true;
}

// xdg-open hands whatever it is given to a browser, a mail program or a file
// manager; only web and mail addresses may reach it from this layer.
bool isOpenableURL(std::string_view url)
{
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%') {
            if (i + 2 >= url.size() || !isHexDigit(url[i + 1]) || !isHexDigit(url[i + 2]))
                return false;
            i += 2;
        } else if (!isURLCharacter(url[i])) {
            return false;
        }
    }
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view scheme = url.substr(0, colon);
    const std::string_view rest = url.substr(colon + 1);
    if (equalsIgnoringCase(scheme, "http") || equalsIgnoringCase(scheme, "https")) {
        if (rest.substr(0, 2) != "//")
            return false;
        const std::string_view authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
        return !authority.empty();
    }
    return equalsIgnoringCase(scheme, "mailto") && !rest.empty();
}

// Starts the program with a clean signal state and without the descriptors
// of this process (USB devices, the single-instance claim) beyond the
// standard three.
pid_t spawnOpener(const char* url)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(url), nullptr};
    pid_t pid = -1;
    // glibc reports a program that could not be executed here, not through
    // the child's exit status.
    const int error = posix_spawnp(&pid, program, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

} // namespace

bool openURL(const char* url)
{
    if (!url || !isOpenableURL(url))
        return false;
    const pid_t pid = spawnOpener(url);
    if (pid < 0)
        return false;
    // xdg-open may run as long as the browser it starts; it is waited for on
    // a thread of its own so that it never stays behind as a zombie.
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the child stays unreaped until this process ends;
        // it was started all the same.
    }
    return true;
}

} // namespace QV::UIA::External
