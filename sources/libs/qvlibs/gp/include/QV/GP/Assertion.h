#pragma once

#include <exception>
#include <memory>

namespace QV::GP {

// What happens when a check of the program fails. By default the failure is
// shown in a message box with its source file and line and the process ends
// with exit code 1; a host may ask for an exception instead.
//
// Thread affinity: DoFail may be called on any thread; the setters are meant
// for start-up, before other threads exist.
class Assertion
{
public:
    Assertion() = delete;

    // Thrown by DoFail when throwing is on. Each exception owns its text, so
    // what() of one exception is never changed by another.
    class exception : public std::exception
    {
    public:
        // Null file and message are absent; both are copied.
        exception(const char* file, int line, const char* message);

        // "Assertion in <file>:<line> <message>", or without the message when
        // there is none; at most 1023 bytes.
        const char* what() const noexcept override;

        const char* getFile() const noexcept;
        int getLine() const noexcept { return m_line; }
        const char* getMessage() const noexcept;

    private:
        struct Texts;
        // Shared, so that copying an exception (as throwing may) never throws.
        std::shared_ptr<const Texts> m_texts;
        int m_line;
    };

    // Called before the failure is shown and before the process ends.
    using Handler = void (*)(const char* file, int line, const char* message);

    // Reports a failed check. A file or message that is not plain ASCII text
    // of at most 1023 bytes is left out. Throws Assertion::exception when
    // throwing is on; otherwise it shows the failure, ends the process with
    // exit code 1 and does not return. The result 1 is reserved for asking
    // the caller to break into the debugger.
    static int DoFail(const char* file, int line, const char* message);

    // Stored for the application's start-up and shut-down, which silence
    // assertion dialogs; a failure is reported all the same.
    static void setSilent(bool silent) noexcept;
    static bool isSilent() noexcept;

    static void setThrowException(bool throwException) noexcept;
    static void setPreAssertionHandler(Handler handler) noexcept;
    static void setTerminationHandler(Handler handler) noexcept;
};

// Ends the process with the code, after flushing the standard streams.
[[noreturn]] void ExitProcess(int code);

} // namespace QV::GP
