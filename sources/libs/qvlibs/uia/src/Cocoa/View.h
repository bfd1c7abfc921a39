#pragma once

#include <cstdint>

namespace QV::UIA::COCOA {

class WindowImplBase;

// The layer's platform view, "QVCocoaView": a view class built at run time
// whose methods turn the platform's drawing, mouse, key, text-input and
// window callbacks into the window's events. Its window implementation
// holds it; once detached it does nothing and passes input on.
//
// Thread affinity: main thread.
class View
{
public:
    View() = delete;

    // What a drag started from a mouse event needs to find its source: the
    // view and event of the last button or motion event (the event is
    // retained until the next one replaces it), and its location in the
    // view.
    struct DragViewData {
        void* view = nullptr;  // NSView
        void* event = nullptr; // NSEvent, retained
        double x = 0;
        double y = 0;
        std::uint64_t localOperations = 0;
        std::uint32_t modifierPolicy = 0;
    };

    // A new view (retained by the caller) of the given size for the
    // implementation; nil when the class or the view cannot be made.
    static void* createWithImplAndSize(WindowImplBase* impl, double width, double height);
    // After this the view's callbacks do nothing.
    static void detachImpl(void* view);
    // The view's implementation, or null once detached.
    static WindowImplBase* getImpl(void* view);
    static bool getDragViewData(DragViewData*& out);
};

} // namespace QV::UIA::COCOA
