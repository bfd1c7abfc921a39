#pragma once

#include <QV/QTK/Widget.h>

#include <boost/signals2/signal.hpp>

namespace QV::QTK {

// What every button shares: it takes the mouse, knows the look it is in,
// and reports a click (a press and a release over it while it is enabled)
// through its signal. A slot may remove or drop the button it was called
// for.
class ButtonImpl : public Widget
{
public:
    struct tSignalData {
        ButtonImpl* button = nullptr;
        // The button's widget id.
        qv::symbol id;
    };
    using tSignal = boost::signals2::signal<void(const tSignalData&)>;

    enum eState : int {
        eNormal = 0,
        eHover = 1,
        ePressed = 2,
        eDisabled = 3,
    };

    tSignal& clicked() noexcept { return *m_clicked; }
    eState getState() const noexcept;

    bool wantsMouse() const noexcept override { return true; }

protected:
    void onClick(const GP::Point& where) override;

private:
    // Shared so that a click survives a slot that destroys the button.
    std::shared_ptr<tSignal> m_clicked = std::make_shared<tSignal>();
};

} // namespace QV::QTK
