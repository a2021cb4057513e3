#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QCloseEvent;
class QMenu;

// One icon in the notification area, its tooltip and a popup menu whose items
// the owner adds at run time. The window is never shown: it only owns the
// icon and the menu. The icon appears on first use and goes when closed.
// The menu is also the icon's context menu, which the tray host shows itself
// (over DBusMenu on StatusNotifier hosts); a choice made there raises
// MenuClick from the event loop, as the clicks on the icon arrive.
class frmSystray final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSystray)

public:
    explicit frmSystray(QWidget *parent = nullptr);
    ~frmSystray() override;

    // The tip keeps what a 64-byte field holds of it: 63 characters of
    // Windows-1252, else the whole characters of 63 bytes of UTF-8.
    QString ToolTip() const;
    void SetToolTip(const QString &sTip);
    // The picture shown; a QIcon is the handle to it. A null icon leaves the
    // icon's place empty.
    QIcon IconHandle() const;
    void SetIconHandle(const QIcon &hIcon);

    qint32 AddMenuItem(const QString &sCaption, const QString &sKey = {}, bool bDefault = false);
    void EnableMenuItem(qint32 lIndex, bool bState);
    // Only captions and keys move down over the removed item, and the last
    // item goes: each index keeps its enabled state, and the default index
    // stays. Item 0 is never removed, only emptied. Always returns 0.
    qint32 RemoveMenuItem(qint32 iIndex);
    qint32 DefaultMenuIndex() const;
    void SetDefaultMenuIndex(qint32 lIndex);

    // Modal: returns once an item was chosen or the menu dismissed. The owner
    // may delete the component from its MenuClick handler. While the tray host
    // has the menu open already (an XEmbed tray pops it up on the right press
    // that also raises SysTrayMouseDown), it opens no second one.
    void ShowMenu();

    // Adds the icon; runs once, on first use of any member above.
    void Form_Load();

    // Whether a tray host is there to show the icon. Tests pretend one is
    // there or not; nullopt asks the desktop again.
    static bool notificationAreaAvailable();
    static void setNotificationAreaAvailable(std::optional<bool> pretend);

    // Raises the events of a click on the icon. The icon's clicks arrive here
    // from the event loop; tests call it to click without a tray host.
    void iconActivated(QSystemTrayIcon::ActivationReason reason);

    // For tests.
    QSystemTrayIcon *trayIcon() const { return m_icon; }
    qint32 menuItemCount() const { return static_cast<qint32>(m_items.size()); }
    QAction *menuAction(qint32 lIndex) const;
    QString menuKey(qint32 lIndex) const;
    QMenu *contextMenu() const { return m_menu; }

Q_SIGNALS:
    // Buttons are 1 left, 2 right. A left click arrives as SysTrayMouseDown,
    // a double one as SysTrayDoubleClick then SysTrayMouseDown, a right one
    // as SysTrayMouseDown then SysTrayMouseUp; pointer moves and the middle
    // button raise nothing.
    void SysTrayMouseDown(qint32 eButton);
    void SysTrayMouseUp(qint32 eButton);
    void SysTrayMouseMove();
    void SysTrayDoubleClick(qint32 eButton);
    void MenuClick(qint32 lIndex, const QString &sKey);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct MenuItem
    {
        QAction *action;
        QString key;
        // As given: a separator's action holds no text.
        QString caption;
    };

    void ensureLoaded() const;
    bool isValidMenuIndex(qint32 lIndex) const;
    qint32 indexOf(const QAction *action) const;
    void setItemCaption(qint32 lIndex, const QString &sCaption);
    void removeIcon();
    QAction *newItemAction();
    void itemTriggered(const QAction *action);
    void updateDefaultAction();

    QMenu *m_menu;
    // Null before the first use and once closed.
    QSystemTrayIcon *m_icon = nullptr;
    bool m_loaded = false;
    bool m_menuShowing = false;
    QString m_tip;
    QIcon m_picture;
    bool m_hasItems = false;
    qint32 m_defaultIndex = 0;
    std::vector<MenuItem> m_items;
};
