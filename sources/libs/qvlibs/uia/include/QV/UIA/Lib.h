#pragma once

namespace QV::UIA {

// Start-up and shut-down of the platform layer: checks the foundation, then
// brings up the key tables, the standard cursors and the asynchronous-event
// path. A version other than kVersion or a flavour other than kFlavour is a
// failed assertion (reported from "Init_UIA").
//
// Thread affinity: main thread, after the foundation's start-up.
class Lib
{
public:
    Lib() = delete;

    static constexpr int kVersion = 0x04010000;
    static constexpr int kFlavour = 69;

    // True when the layer is up; false, with every step undone, when a step
    // failed or threw.
    static bool init(int version, int flavour);
    // Safe when init failed or never ran.
    static void deInit();

    // Settles, once, what the platform must know before its application
    // object exists; the host calls it before it creates that object, and
    // the layer again before it first needs it. On GNUstep: named images are
    // looked up only in the file types GNUstep reads itself, less PostScript,
    // PDF and QuickDraw pictures. With its ImageMagick class it tries some
    // 250 types in every library folder for every name it does not find as a
    // file (the application icon, the menu items' check marks), which took
    // well over half of the application's start-up; this layer decodes its
    // own pictures and never has GNUstep read a format only ImageMagick
    // knows, nor one of the three left out.
    static void preparePlatform();

    static bool isInitialized() noexcept { return s_bInitialized; }
    static bool isMenuInitialized() noexcept { return s_bMenuInitialized; }

    // Views paint the union of their invalid rectangles in one paint event
    // (true from the start; nothing in this system changes it).
    static bool s_bCocoaDrawRectUnion;

private:
    static bool tryInit(int version, int flavour);

    static bool s_bInitialized;
    static bool s_bLayerInitialized;
    static bool s_bMenuInitialized;
};

} // namespace QV::UIA
