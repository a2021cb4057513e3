#pragma once

// The notification-area call with the record, operations and flags of its
// Windows namesake, over QSystemTrayIcon. Icons are keyed by (hWnd, uID); the
// user's actions on an icon reach the owning window, posted, as mouse-move
// callbacks whose horizontal coordinate is the notification code (513..520).

#include <QByteArray>
#include <QByteArrayView>
#include <QIcon>
#include <QString>
#include <QStringView>
#include <QSystemTrayIcon>
#include <QtGlobal>

#include <functional>
#include <optional>

using DWORD = quint32;
using BOOL = int;

class QMenu;

struct NOTIFYICONDATAA
{
    DWORD cbSize;
    quint32 hWnd;
    quint32 uID;
    DWORD uFlags;
    DWORD uCallbackMessage;
    qint32 hIcon;
    char szTip[64];
};
static_assert(sizeof(NOTIFYICONDATAA) == 88);

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;

inline constexpr DWORD NIF_MESSAGE = 1;
inline constexpr DWORD NIF_ICON = 2;
inline constexpr DWORD NIF_TIP = 4;

inline constexpr DWORD WM_MOUSEMOVE = 0x200;

// The tip field's bytes for a tooltip: its first 63 characters (up to a NUL)
// in Windows-1252, one byte each as the ANSI call counts them; a tip with
// characters Windows-1252 lacks goes in UTF-8, as many whole characters as
// 63 bytes hold. NotifyTipText reads them back (UTF-8 where valid, else
// Windows-1252), up to the NUL.
QByteArray NotifyTipBytes(QStringView tip);
QString NotifyTipText(QByteArrayView field);

// Adds, modifies (only the fields named by uFlags) or deletes the icon of
// (hWnd, uID). Returns nonzero on success: adding an existing icon, or
// modifying or deleting a missing one, fails.
// Notifications are delivered only while the callback message is WM_MOUSEMOVE.
BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATAA *data);

// Icon handles: nonzero, a new one per call; an unknown handle gives a null icon.
qint32 RegisterIconHandle(const QIcon &icon);
QIcon IconForHandle(qint32 handle);

// A window that receives the notifications of its icons; the returned value
// is its hWnd. After unregistering, notifications for it are dropped.
// The window's menu, when given, is its icons' context menu: the tray host
// shows it itself (StatusNotifier hosts read it over DBusMenu, an XEmbed
// tray pops it up on a right press); its actions are triggered there.
quint32 RegisterNotifyWindow(std::function<void(int x)> mouseMove, QMenu *menu = nullptr);
void UnregisterNotifyWindow(quint32 hWnd);

// Whether a tray host is there to show the icons.
bool NotificationAreaAvailable();

// Test hooks: the observer sees every call before it is carried out; a tray
// host may be pretended there or not (nullopt: ask the desktop).
void SetNotificationAreaAvailable(std::optional<bool> pretend);
void SetNotifyIconObserver(std::function<void(DWORD message, const NOTIFYICONDATAA &record)> observer);
int NotifyIconCount();
void SendNotifyIconEvent(quint32 hWnd, quint32 uID, QSystemTrayIcon::ActivationReason reason);
QSystemTrayIcon *NotifyTrayIcon(quint32 hWnd, quint32 uID);
