#include "notify_icon.h"

#include "code_page.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <array>
#include <map>
#include <utility>
#include <vector>

namespace {

using IconKey = std::pair<quint32, quint32>; // (hWnd, uID)

struct TrayIconEntry
{
    QPointer<QSystemTrayIcon> icon;
    DWORD callbackMessage = 0;
};

struct NotifyWindow
{
    std::function<void(int)> mouseMove;
    QPointer<QMenu> menu;
};

struct NotifyState
{
    std::map<IconKey, TrayIconEntry> icons;
    std::map<quint32, NotifyWindow> windows;
    std::map<qint32, QIcon> iconHandles;
    std::function<void(DWORD, const NOTIFYICONDATAA &)> observer;
    std::optional<bool> pretendTrayHost;
    qint32 nextIconHandle = 0x10001;
    quint32 nextWindow = 0x20002;
};

NotifyState &state()
{
    // Never destroyed, so no QIcon is released after QApplication is gone; the
    // tray icons themselves are children of the application object.
    static auto *s = new NotifyState;
    return *s;
}

// The codes the platform sends for one user action, in order. A left click
// arrives as its release; a double click is completed by a second release.
std::vector<int> codesFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {0x202};
    case QSystemTrayIcon::DoubleClick:
        return {0x203, 0x202};
    case QSystemTrayIcon::Context:
        return {0x204, 0x205};
    case QSystemTrayIcon::MiddleClick:
        return {0x207, 0x208};
    case QSystemTrayIcon::Unknown:
        break;
    }
    return {};
}

void deliver(const IconKey &key, QSystemTrayIcon::ActivationReason reason)
{
    for (const int code : codesFor(reason)) {
        // Look again before each code: the previous one may have removed the
        // icon or its window.
        NotifyState &s = state();
        const auto icon = s.icons.find(key);
        if (icon == s.icons.end() || icon->second.callbackMessage != WM_MOUSEMOVE)
            return;
        const auto window = s.windows.find(key.first);
        if (window == s.windows.end() || !window->second.mouseMove)
            return;
        const auto callback = window->second.mouseMove; // the callback may unregister its window
        callback(code);
    }
}

constexpr qsizetype kTipChars = sizeof(NOTIFYICONDATAA::szTip) - 1;

QString tipText(const NOTIFYICONDATAA &data)
{
    return NotifyTipText(QByteArrayView(data.szTip, sizeof data.szTip));
}

void applyFields(QSystemTrayIcon *icon, TrayIconEntry &entry, const NOTIFYICONDATAA &data)
{
    if (data.uFlags & NIF_MESSAGE)
        entry.callbackMessage = data.uCallbackMessage;
    if (data.uFlags & NIF_TIP)
        icon->setToolTip(tipText(data));
    if (data.uFlags & NIF_ICON) {
        const QIcon picture = IconForHandle(data.hIcon);
        icon->setIcon(picture);
        // Qt refuses to show an icon without a picture; the place just stays empty.
        icon->setVisible(!picture.isNull());
    }
}

} // namespace

QByteArray NotifyTipBytes(QStringView tip)
{
    if (const qsizetype nul = tip.indexOf(u'\0'); nul >= 0)
        tip.truncate(nul);
    // A surrogate pair cut in two here lies past byte 63 of the UTF-8 form,
    // so the byte cut below removes its half.
    tip.truncate(std::min(tip.size(), kTipChars));
    // Windows-1252 unless its bytes would read back as other text.
    if (const std::optional<QByteArray> bytes = EncodeCp1252(tip); bytes && DecodeBody(*bytes) == tip)
        return *bytes;
    QByteArray bytes = tip.toUtf8();
    if (bytes.size() > kTipChars) {
        qsizetype cut = kTipChars;
        while (cut > 0 && (static_cast<uchar>(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    return bytes;
}

QString NotifyTipText(QByteArrayView field)
{
    return DecodeBody(field.first(qsizetype(qstrnlen(field.data(), size_t(field.size())))).toByteArray());
}

bool NotificationAreaAvailable()
{
    const NotifyState &s = state();
    return s.pretendTrayHost ? *s.pretendTrayHost : QSystemTrayIcon::isSystemTrayAvailable();
}

void SetNotificationAreaAvailable(std::optional<bool> pretend)
{
    state().pretendTrayHost = pretend;
}

BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATAA *data)
{
    if (!data)
        return 0;
    NotifyState &s = state();
    if (s.observer)
        s.observer(message, *data);

    const IconKey key{data->hWnd, data->uID};
    const auto found = s.icons.find(key);
    switch (message) {
    case NIM_ADD: {
        if (found != s.icons.end())
            return 0;
        auto *icon = new QSystemTrayIcon(QCoreApplication::instance());
        // Before the icon shows: a StatusNotifier host reads the item's menu
        // once, when the item appears.
        if (const auto window = s.windows.find(key.first); window != s.windows.end() && window->second.menu)
            icon->setContextMenu(window->second.menu);
        const auto activated = [key](QSystemTrayIcon::ActivationReason reason) {
            deliver(key, reason);
        };
        // Posted, as the platform posts its notifications: the owner's answer
        // (a modal menu, closing the program) runs from the event loop, not
        // inside the icon's own mouse handler.
        QObject::connect(icon, &QSystemTrayIcon::activated, icon, activated, Qt::QueuedConnection);
        TrayIconEntry &entry = s.icons[key];
        entry.icon = icon;
        applyFields(icon, entry, *data);
        return 1;
    }
    case NIM_MODIFY:
        if (found == s.icons.end() || !found->second.icon)
            return 0;
        applyFields(found->second.icon, found->second, *data);
        return 1;
    case NIM_DELETE: {
        if (found == s.icons.end())
            return 0;
        const QPointer<QSystemTrayIcon> icon = found->second.icon;
        s.icons.erase(found);
        if (icon) {
            // Later: the call may come from a handler of this icon's own signal.
            icon->hide();
            icon->deleteLater();
        }
        return 1;
    }
    default:
        return 0;
    }
}

qint32 RegisterIconHandle(const QIcon &icon)
{
    NotifyState &s = state();
    const qint32 handle = s.nextIconHandle++;
    s.iconHandles[handle] = icon;
    return handle;
}

QIcon IconForHandle(qint32 handle)
{
    const NotifyState &s = state();
    const auto found = s.iconHandles.find(handle);
    return found == s.iconHandles.end() ? QIcon() : found->second;
}

quint32 RegisterNotifyWindow(std::function<void(int x)> mouseMove, QMenu *menu)
{
    NotifyState &s = state();
    const quint32 hWnd = s.nextWindow;
    s.nextWindow += 2;
    s.windows[hWnd] = {std::move(mouseMove), menu};
    return hWnd;
}

void UnregisterNotifyWindow(quint32 hWnd)
{
    NotifyState &s = state();
    s.windows.erase(hWnd);
    // The menu goes with its window; an icon left behind keeps none.
    for (auto &[key, entry] : s.icons) {
        if (key.first == hWnd && entry.icon)
            entry.icon->setContextMenu(nullptr);
    }
}

void SetNotifyIconObserver(std::function<void(DWORD message, const NOTIFYICONDATAA &record)> observer)
{
    state().observer = std::move(observer);
}

int NotifyIconCount()
{
    return static_cast<int>(state().icons.size());
}

void SendNotifyIconEvent(quint32 hWnd, quint32 uID, QSystemTrayIcon::ActivationReason reason)
{
    deliver({hWnd, uID}, reason);
}

QSystemTrayIcon *NotifyTrayIcon(quint32 hWnd, quint32 uID)
{
    const NotifyState &s = state();
    const auto found = s.icons.find({hWnd, uID});
    return found == s.icons.end() ? nullptr : found->second.icon.data();
}
