#include "platform/window/desktop_entry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

void setUtf8Property(xcb_connection_t *x, xcb_window_t window, const char *name, const QByteArray &value)
{
    const auto atom = [x](const char *atomName) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            x, xcb_intern_atom(x, 0, uint16_t(std::strlen(atomName)), atomName), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    const xcb_atom_t property = atom(name);
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    if (property == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE)
        return;
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, property, utf8, 8, uint32_t(value.size()), value.constData());
}

// Puts the properties on each window as it is first shown, before the
// window manager maps it.
class EntryNamer final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        // Qt's offscreen platform offers the X11 interface too, with no
        // connection behind it (with or without a display).
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t *x = x11 ? x11->connection() : nullptr;
        if (!widget->isWindow() || !x || widget->property(kNamed).toBool())
            return false;
        widget->setProperty(kNamed, true);
        const QByteArray name = QGuiApplication::desktopFileName().toUtf8();
        const auto window = static_cast<xcb_window_t>(widget->winId());
        setUtf8Property(x, window, "_KDE_NET_WM_DESKTOP_FILE", name);
        setUtf8Property(x, window, "_GTK_APPLICATION_ID", name);
        xcb_flush(x);
        return false;
    }

private:
    static constexpr char kNamed[] = "quendraDesktopEntryNamed";
};

} // namespace

void nameDesktopEntry(const QString &name)
{
    QGuiApplication::setDesktopFileName(name);
    if (qGuiApp)
        qGuiApp->installEventFilter(new EntryNamer(qGuiApp));
}
