// An application with one standalone window that prints what its view makes
// of keys, one line each on standard output:
//   focus                   the window became the key window
//   key-down 0xWORD 0xPOS   kEventKeyDown (key word, position key)
//   text TEXT               kEventTextInput (UTF-8)
//   key-up 0xWORD 0xPOS     kEventKeyUp
// Key downs are left unhandled, so that the input system turns them into
// text. The key tables are built once, as the library starts.
#include "LayerModule.h"
#include "OneWindowApplication.h"

#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/StandaloneWindow.h>

#include <cstdio>
#include <memory>

namespace {

using namespace QV::UIA;

class KeyWindow : public StandaloneWindow
{
public:
    static Window::CreateData createData()
    {
        Window::CreateData data;
        data.flags = WindowBase::kCreateContentSize | WindowBase::kCreatePosition;
        data.rectangle = {40, 60, 340, 260};
        data.setTitle("UIA Key Window");
        return data;
    }

    bool onEvent(unsigned code, EventData* data) override
    {
        switch (code) {
        case kEventKeyFocusGained: print("focus"); break;
        case kEventKeyDown:
        case kEventKeyUp: {
            const auto* key = static_cast<KeyEventData*>(data);
            std::printf("%s 0x%x 0x%x\n", code == kEventKeyDown ? "key-down" : "key-up", key->keyWord,
                        key->positionKey);
            std::fflush(stdout);
            return false;
        }
        case kEventTextInput: print("text " + static_cast<TextInputEventData*>(data)->text); return true;
        default: break;
        }
        return StandaloneWindow::onEvent(code, data);
    }

private:
    static void print(const std::string& line)
    {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
};

using KeyApplication = QV::UIA::Testing::OneWindowApplication<KeyWindow>;

QV::UIA::Testing::LayerModule<KeyApplication> theModule(QV::GP::makeFileTypeMacMagic("QVTK"),
                                                    "UIA Key Test");

} // namespace
