#include "platform/x11/QxtGlobalShortcut.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QVector>
#include <QX11Info>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace {

// The lock modifiers the user may have on; each combination needs its own grab.
const QVector<quint16> LockVariants{
    0, XCB_MOD_MASK_2 /* NumLock */, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK};
constexpr quint16 RelevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

quint16 nativeModifiers(Qt::KeyboardModifiers mods)
{
    quint16 native = 0;
    if (mods & Qt::ShiftModifier)
        native |= XCB_MOD_MASK_SHIFT;
    if (mods & Qt::ControlModifier)
        native |= XCB_MOD_MASK_CONTROL;
    if (mods & Qt::AltModifier)
        native |= XCB_MOD_MASK_1;
    if (mods & Qt::MetaModifier)
        native |= XCB_MOD_MASK_4;
    return native;
}

KeySym nativeKeysym(Qt::Key key)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + (key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A);
    if ((key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        || (key >= Qt::Key_nobreakspace && key <= Qt::Key_ydiaeresis))
        return KeySym(key);
    switch (key) {
    case Qt::Key_Escape: return XK_Escape;
    case Qt::Key_Tab: return XK_Tab;
    case Qt::Key_Backspace: return XK_BackSpace;
    case Qt::Key_Return: return XK_Return;
    case Qt::Key_Enter: return XK_KP_Enter;
    case Qt::Key_Insert: return XK_Insert;
    case Qt::Key_Delete: return XK_Delete;
    case Qt::Key_Pause: return XK_Pause;
    case Qt::Key_Print: return XK_Print;
    case Qt::Key_Home: return XK_Home;
    case Qt::Key_End: return XK_End;
    case Qt::Key_Left: return XK_Left;
    case Qt::Key_Up: return XK_Up;
    case Qt::Key_Right: return XK_Right;
    case Qt::Key_Down: return XK_Down;
    case Qt::Key_PageUp: return XK_Prior;
    case Qt::Key_PageDown: return XK_Next;
    case Qt::Key_ScrollLock: return XK_Scroll_Lock;
    case Qt::Key_Menu: return XK_Menu;
    default: return NoSymbol;
    }
}

} // namespace

QxtGlobalShortcut::QxtGlobalShortcut(QObject* parent)
    : QObject(parent)
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

QxtGlobalShortcut::~QxtGlobalShortcut()
{
    unregister();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void QxtGlobalShortcut::unregister()
{
    if (!m_registered)
        return;
    m_registered = false;
    if (!QX11Info::isPlatformX11())
        return;
    xcb_connection_t* connection = QX11Info::connection();
    for (quint16 lock : LockVariants)
        xcb_ungrab_key(connection, m_keycode, QX11Info::appRootWindow(), m_modifiers | lock);
    xcb_flush(connection);
}

bool QxtGlobalShortcut::setShortcut(const QKeySequence& shortcut)
{
    unregister();
    m_shortcut = shortcut;
    if (shortcut.isEmpty() || !QX11Info::isPlatformX11() || !QX11Info::display())
        return false;

    const int combined = shortcut[0];
    const Qt::Key key = Qt::Key(combined & ~Qt::KeyboardModifierMask);
    const quint16 modifiers = nativeModifiers(Qt::KeyboardModifiers(combined & Qt::KeyboardModifierMask));
    const KeySym keysym = nativeKeysym(key);
    if (keysym == NoSymbol)
        return false;
    const KeyCode keycode = XKeysymToKeycode(QX11Info::display(), keysym);
    if (keycode == 0)
        return false;

    xcb_connection_t* connection = QX11Info::connection();
    const xcb_window_t root = QX11Info::appRootWindow();
    QVector<xcb_void_cookie_t> cookies;
    for (quint16 lock : LockVariants) {
        cookies.append(xcb_grab_key_checked(
            connection, 1, root, modifiers | lock, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool ok = true;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            ok = false;
            free(error);
        }
    }
    m_keycode = keycode;
    m_modifiers = modifiers;
    m_registered = true;
    if (!ok)
        unregister(); // another client holds the key: release what we did get
    return ok;
}

bool QxtGlobalShortcut::nativeEventFilter(const QByteArray& eventType, void* message, long* result)
{
    Q_UNUSED(result)
    if (!m_registered || eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (press->detail != m_keycode || (press->state & RelevantModifiers) != m_modifiers)
        return false;
    if (m_enabled)
        emit activated();
    return true;
}
