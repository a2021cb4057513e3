#pragma once

#include "notify_icon.h"

#include <QString>
#include <QWidget>

#include <vector>

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;

// One icon in the notification area, its tooltip and a popup menu whose items
// the owner adds at run time. The window is never shown: it only receives the
// icon's notifications. The icon appears on first use and goes when closed.
// The menu is also the icon's context menu, which the tray host shows itself
// (over DBusMenu on StatusNotifier hosts); a choice made there raises
// MenuClick from the event loop, as the icon's notifications arrive.
class frmSystray final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSystray)

public:
    explicit frmSystray(QWidget *parent = nullptr);
    ~frmSystray() override;

    QString ToolTip() const;
    void SetToolTip(const QString &sTip);
    qint32 IconHandle() const;
    void SetIconHandle(qint32 hIcon);

    qint32 AddMenuItem(const QString &sCaption, const QString &sKey = {}, bool bDefault = false);
    void EnableMenuItem(qint32 lIndex, bool bState);
    qint32 DefaultMenuIndex() const;
    void SetDefaultMenuIndex(qint32 lIndex);

    // Modal: returns once an item was chosen or the menu dismissed. The owner
    // may delete the component from its MenuClick handler. While the tray host
    // has the menu open already (an XEmbed tray pops it up on the right press
    // that also raises SysTrayMouseDown), it opens no second one.
    void ShowMenu();

    // Adds the icon; runs once, on first use of any member above.
    void Form_Load();
    // The icon's notifications: x carries the code, in pixels.
    void Form_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, float x, float y);

    // For tests.
    const NOTIFYICONDATAA &notifyIconData() const { return m_nid; }
    qint32 menuItemCount() const { return static_cast<qint32>(m_items.size()); }
    QAction *menuAction(qint32 lIndex) const;
    QString menuKey(qint32 lIndex) const;
    QMenu *contextMenu() const { return m_menu; }

Q_SIGNALS:
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
        QString caption;
        QString key;
    };

    void EnsureLoaded() const;
    bool IsValidMenuIndex(qint32 lIndex) const;
    void SetItemCaption(qint32 lIndex, const QString &sCaption);
    void RemoveIcon();
    QAction *newItemAction();
    void itemTriggered(const QAction *action);
    void updateDefaultAction();

    enum class IconState { NotLoaded, Shown, Removed };

    QLabel *m_label;
    QMenu *m_menu;
    bool m_menuShowing = false;
    NOTIFYICONDATAA m_nid{};
    IconState m_iconState = IconState::NotLoaded;
    bool m_hasItems = false;
    qint32 m_defaultIndex = 0;
    std::vector<MenuItem> m_items;
};
