// An application with one toolkit window: a bar with the bundle's info icon,
// a label and a button. It writes to the file named by QTK_TEST_LOG, one
// line each:
//   content L T W H   the content area on screen, after the first paint
//   icon W H          the icon found in the bundle, or "icon missing"
//   clicked ID        the button's signal with the button's id
// A click on the button also has another thread, once the window has
// fallen idle, turn the swatch at (8, 100)-(40, 132) from the bar's colour
// to green and ask for its repaint.
#include <QV/GP/Lib.h>
#include <QV/QTK/Bar.h>
#include <QV/QTK/Button.h>
#include <QV/QTK/Label.h>
#include <QV/QTK/Lib.h>
#include <QV/QTK/Resources.h>
#include <QV/QTK/Window.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/StandaloneWindow.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace QV;

void note(const std::string& line)
{
    static FILE* log = [] {
        const char* path = std::getenv("QTK_TEST_LOG");
        return path ? std::fopen(path, "a") : nullptr;
    }();
    if (log) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    }
}

class ToolkitWindow : public QTK::Window<UIA::StandaloneWindow>
{
protected:
    void present(UIA::PaintEventData& paint) override
    {
        Window::present(paint);
        if (m_contentNoted)
            return;
        m_contentNoted = true;
        GP::Point origin{0, 0};
        toScreen(origin);
        const GP::Point size = getSize(true);
        note("content " + std::to_string(origin.x) + " " + std::to_string(origin.y) + " " + std::to_string(size.x)
             + " " + std::to_string(size.y));
    }

private:
    bool m_contentNoted = false;
};

// A square of one colour that another thread may change.
class Swatch : public QTK::Widget
{
public:
    std::atomic<std::uint32_t> colour{0xFF2E3138u};

protected:
    void paint(UIA::Picture& picture) override
    {
        picture.fillArea(0, 0, getWidth(), getHeight(), colour.load());
    }
};

class ToolkitApplication : public UIA::Application
{
public:
    ~ToolkitApplication() override
    {
        if (m_painter.joinable())
            m_painter.join();
    }

    bool init() override
    {
        if (!Application::init())
            return false;
        const auto font = QTK::Resources::getFont("", 16);
        auto root = std::make_shared<QTK::Bar>();
        root->setColour(0xFF2E3138u);

        auto icon = std::make_shared<QTK::Bar>();
        icon->setBounds({16, 16, 64, 64});
        if (auto picture = QTK::Resources::getPicture("IconInfo.png")) {
            note("icon " + std::to_string(picture->getWidth()) + " " + std::to_string(picture->getHeight()));
            icon->setPicture(picture);
        } else {
            note("icon missing");
        }
        root->addChild(icon);

        auto label = std::make_shared<QTK::Label>();
        label->setBounds({80, 24, 300, 56});
        label->setFont(font);
        label->setColour(0xFFFFFFFFu);
        label->setText("Keyboard found: 49 keys");
        root->addChild(label);

        auto button = std::make_shared<QTK::Button>();
        button->setId(qv::symbol("update"));
        button->setBounds({100, 120, 220, 160});
        button->setFont(font);
        button->setText("UPDATE");
        button->setLook(QTK::Button::eNormal, {0xFFE8802Au, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr});
        button->setLook(QTK::Button::eHover, {0xFF3478D4u, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr});
        button->setLook(QTK::Button::ePressed, {0xFF1C3F70u, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr});
        auto swatch = std::make_shared<Swatch>();
        swatch->setBounds({8, 100, 40, 132});
        root->addChild(swatch);
        button->clicked().connect([this, swatch](const QTK::ButtonImpl::tSignalData& data) {
            note("clicked " + data.id.string());
            if (m_painter.joinable())
                return;
            m_painter = std::thread([swatch] {
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                swatch->colour = 0xFF20C040u;
                swatch->invalidate();
            });
        });
        root->addChild(button);

        m_window = std::make_unique<ToolkitWindow>();
        m_window->getPane().setRoot(root);
        UIA::Window::CreateData data;
        data.flags = UIA::WindowBase::kCreateContentSize | UIA::WindowBase::kCreatePosition;
        data.rectangle = {40, 60, 40 + 320, 60 + 200};
        data.style = UIA::WindowBase::kStyleFixedSize;
        data.setTitle("QTK Toolkit Window");
        if (!m_window->create(data))
            return false;
        m_window->show(true);
        return true;
    }

private:
    std::unique_ptr<ToolkitWindow> m_window;
    std::thread m_painter;
};

class ToolkitModule : public UIA::AppModule
{
public:
    bool init() override
    {
        if (!GP::Lib::init(GP::makeFileTypeMacMagic("QVTK"), "QTK Window Test", GP::Lib::kVersion,
                           GP::Lib::kFlavour))
            return false;
        m_foundation = true;
        if (!UIA::Lib::init(UIA::Lib::kVersion, UIA::Lib::kFlavour))
            return false;
        m_platform = true;
        if (!QTK::Lib::init())
            return false;
        m_toolkit = true;
        return attachApplication(new ToolkitApplication);
    }

    void deInit(bool) override
    {
        destroyApplication();
        if (m_toolkit)
            QTK::Lib::deInit();
        if (m_platform)
            UIA::Lib::deInit();
        if (m_foundation)
            GP::Lib::deInit();
        m_toolkit = m_platform = m_foundation = false;
    }

private:
    bool m_foundation = false;
    bool m_platform = false;
    bool m_toolkit = false;
};

ToolkitModule theModule;

} // namespace
