#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// Xlib's macros collide with Qt names.
#undef Bool
#undef None
#undef Status
#undef KeyPress
#undef KeyRelease
#undef ProtocolVersion
#undef FocusIn
#undef FocusOut
#undef Unsorted
#undef CursorShape

// A second X client for tests: holds key grabs the way another program would, and
// presses keys and clicks through XTEST.
class XKeyHelper {
public:
    XKeyHelper()
        : m_display(XOpenDisplay(nullptr))
    {
    }
    ~XKeyHelper()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool isValid() const { return m_display != nullptr; }

    // True when this client now holds the plain key (and its lock variants).
    bool grab(KeySym sym)
    {
        s_failed = false;
        XErrorHandler old = XSetErrorHandler(&XKeyHelper::onError);
        const KeyCode code = XKeysymToKeycode(m_display, sym);
        for (unsigned mods : {0u, unsigned(Mod2Mask), unsigned(LockMask), unsigned(Mod2Mask | LockMask)})
            XGrabKey(m_display, code, mods, DefaultRootWindow(m_display), True, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        XSetErrorHandler(old);
        return !s_failed;
    }

    void ungrab(KeySym sym)
    {
        XUngrabKey(m_display, XKeysymToKeycode(m_display, sym), AnyModifier, DefaultRootWindow(m_display));
        XSync(m_display, False);
    }

    void press(KeySym sym, KeySym modifier = NoSymbol)
    {
        const KeyCode code = XKeysymToKeycode(m_display, sym);
        const KeyCode mod = modifier == NoSymbol ? 0 : XKeysymToKeycode(m_display, modifier);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, True, 0);
        XTestFakeKeyEvent(m_display, code, True, 0);
        XTestFakeKeyEvent(m_display, code, False, 0);
        if (mod)
            XTestFakeKeyEvent(m_display, mod, False, 0);
        XSync(m_display, False);
    }

    // A left click at a point of the screen.
    void click(int x, int y)
    {
        XTestFakeMotionEvent(m_display, -1, x, y, 0);
        XTestFakeButtonEvent(m_display, 1, True, 0);
        XTestFakeButtonEvent(m_display, 1, False, 0);
        XSync(m_display, False);
    }

private:
    static int onError(Display*, XErrorEvent*)
    {
        s_failed = true;
        return 0;
    }
    static inline bool s_failed = false;
    Display* m_display;
};
