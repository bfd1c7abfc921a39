#include <QV/GP/Assertion.h>

#include <QV/GP/DebugTrace.h>
#include <QV/GP/Message.h>

#include "Common/DebuggerBreak.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace QV::GP {

namespace {

std::atomic<bool> s_bThrowException{false};
std::atomic<bool> s_bSilent{false};
std::atomic<Assertion::Handler> s_PreAssertionHandler{nullptr};
std::atomic<Assertion::Handler> s_TerminationHandler{nullptr};
// 1 while no failure is being reported; a failure that finds it at 0 or below
// happened while another one was being reported.
std::atomic<int> s_iAssertReenter{1};

// Texts of failures are limited to what fits the report's 1024-byte buffer.
constexpr std::size_t kMaxText = 1023;
const char kAbsentFile[] = "<unknown>";

// A file or message is used only when it is ASCII text of at most 1023
// bytes: anything else may be a stray pointer or a damaged buffer, and is
// left out rather than shown.
const char* usable(const char* text)
{
    if (!text)
        return nullptr;
    for (std::size_t i = 0; i <= kMaxText; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0)
            return text;
        if (c >= 0x80)
            return nullptr;
    }
    return nullptr;
}

std::string cut(std::string text)
{
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    return text;
}

std::string failureText(const char* file, int line, const char* message)
{
    std::string text = "Error " + std::string(file ? file : kAbsentFile) + ":" + std::to_string(line);
    if (message)
        text += "\n\n" + std::string(message);
    return cut(std::move(text));
}

} // namespace

struct Assertion::exception::Texts
{
    bool hasFile;
    bool hasMessage;
    std::string file;
    std::string message;
    std::string what;
};

Assertion::exception::exception(const char* file, int line, const char* message) : m_line(line)
{
    auto texts = std::make_shared<Texts>();
    texts->hasFile = file != nullptr;
    texts->hasMessage = message != nullptr;
    texts->file = file ? file : "";
    texts->message = message ? message : "";
    texts->what = "Assertion in " + std::string(file ? file : kAbsentFile) + ":" + std::to_string(line);
    if (message)
        texts->what += " " + texts->message;
    texts->what = cut(std::move(texts->what));
    m_texts = std::move(texts);
}

const char* Assertion::exception::what() const noexcept
{
    return m_texts->what.c_str();
}

const char* Assertion::exception::getFile() const noexcept
{
    return m_texts->hasFile ? m_texts->file.c_str() : nullptr;
}

const char* Assertion::exception::getMessage() const noexcept
{
    return m_texts->hasMessage ? m_texts->message.c_str() : nullptr;
}

int Assertion::DoFail(const char* file, int line, const char* message)
{
    file = usable(file);
    message = usable(message);
    if (s_bThrowException)
        throw exception(file, line, message);

    const std::string text = failureText(file, line, message);
    if (s_iAssertReenter.fetch_sub(1) <= 0) {
        // A failure while another is being reported, most likely by the
        // handlers or the message box of the first: going through them again
        // would recurse without end, so this one is only written out.
        s_iAssertReenter.fetch_add(1);
        DETAIL::breakIntoDebugger();
        std::fprintf(stderr, "%s\n", text.c_str());
        fcloseall();
        ExitProcess(1);
    }
    if (Handler handler = s_PreAssertionHandler)
        handler(file, line, message);
    Message::show(CharSequence<char>(text), Message::eTypeOK, Message::eButtonNone, Message::eIconInformation,
                  nullptr);
    if (Handler handler = s_TerminationHandler)
        handler(file, line, message);
    fcloseall();
    ExitProcess(1);
}

void Assertion::setSilent(bool silent) noexcept
{
    s_bSilent = silent;
}

bool Assertion::isSilent() noexcept
{
    return s_bSilent;
}

void Assertion::setThrowException(bool throwException) noexcept
{
    s_bThrowException = throwException;
}

void Assertion::setPreAssertionHandler(Handler handler) noexcept
{
    s_PreAssertionHandler = handler;
}

void Assertion::setTerminationHandler(Handler handler) noexcept
{
    s_TerminationHandler = handler;
}

void ExitProcess(int code)
{
    // A failed check leaves the program's state in doubt, so static
    // destructors (the platform's among them) are not run on it; only what
    // was written so far is saved.
    std::fflush(nullptr);
    std::_Exit(code);
}

} // namespace QV::GP
