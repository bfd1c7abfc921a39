#include <QV/GP/Message.h>

#include <QV/GP/Application.h>
#include <QV/GP/GetTextDomain.h>
#include <QV/GP/StringUtil.h>

#include "Common/MessageAlert.h"

#include <cstdio>
#include <string>

namespace QV::GP {

Message::ShowFunction Message::s_showMessageFunctor;

namespace DETAIL {

std::vector<AlertButton> alertButtons(Message::eType type)
{
    switch (type) {
    case Message::eTypeOK:
        return {{"OK", Message::eButtonOK}};
    case Message::eTypeOKCancel:
        return {{"OK", Message::eButtonOK}, {"Cancel", Message::eButtonCancel}};
    case Message::eTypeYesNo:
        return {{"Yes", Message::eButtonYes}, {"No", Message::eButtonNo}};
    case Message::eTypeYesNoCancel:
        return {{"Yes", Message::eButtonYes}, {"No", Message::eButtonNo}, {"Cancel", Message::eButtonCancel}};
    case Message::eTypeRetryCancel:
        return {{"Retry", Message::eButtonRetry}, {"Cancel", Message::eButtonCancel}};
    case Message::eTypeAbortRetryIgnore:
        return {{"Abort", Message::eButtonAbort}, {"Retry", Message::eButtonRetry}, {"Ignore", Message::eButtonIgnore}};
    }
    return {};
}

int alertStyle(Message::eIcon icon)
{
    switch (icon) {
    case Message::eIconInformation:
    case Message::eIconQuestion:
    case Message::eIconNote:
        return 1;
    case Message::eIconError:
        return 2;
    case Message::eIconWarning:
        return 0;
    }
    return -1;
}

int defaultButtonIndex(const std::vector<AlertButton>& buttons, Message::eButton defaultButton)
{
    if (defaultButton == Message::eButtonNone)
        return -1;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].tag == defaultButton)
            return static_cast<int>(i);
    return -1;
}

} // namespace DETAIL

Message::eButton Message::show(const CharSequence<char>& text, eType type, eButton defaultButton, eIcon icon,
                               const char* title)
{
    if (s_showMessageFunctor)
        return s_showMessageFunctor(text, type, defaultButton, icon, title);

    DETAIL::AlertRequest request;
    request.buttons = DETAIL::alertButtons(type);
    if (request.buttons.empty())
        return defaultButton;
    // Undecodable sequences are dropped, never a reason to refuse the text.
    request.title = StringUtil::fromUTF_filter(std::string(title ? title : Application::getName()));
    request.text = StringUtil::fromUTF_filter(std::string(text.data() ? text.data() : "", text.length()));

    if (!DETAIL::canRunAlert()) {
        // Nobody could answer a box here; a question must not block, so the
        // caller's default stands.
        const std::string line = request.title + ": " + request.text + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        return defaultButton;
    }
    GetTextDomain& translations = GetLibraryTextDomain();
    for (DETAIL::AlertButton& button : request.buttons)
        button.title = translations.get(button.title.c_str());
    request.defaultIndex = DETAIL::defaultButtonIndex(request.buttons, defaultButton);
    request.style = DETAIL::alertStyle(icon);
    return DETAIL::runAlert(request);
}

bool Message::close(eButton answer)
{
    return DETAIL::closeAlert(answer);
}

} // namespace QV::GP
