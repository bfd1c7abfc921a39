#pragma once

// The application of a test program with one window of type W: made from
// W::createData() when the application starts, shown and given the
// keyboard.
#include <QV/UIA/Application.h>
#include <QV/UIA/Window.h>

#include <memory>

namespace QV::UIA::Testing {

template <class W>
class OneWindowApplication : public Application
{
public:
    bool init() override
    {
        if (!Application::init())
            return false;
        m_window = std::make_unique<W>();
        if (!m_window->create(W::createData()))
            return false;
        m_window->show(true);
        m_window->setKeyFocus();
        return true;
    }

private:
    std::unique_ptr<W> m_window;
};

} // namespace QV::UIA::Testing
