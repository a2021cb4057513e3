#include "windows/systray/frmsystray.h"

#include "core/text/code_page.h"
#include "platform/widgets/picturebox.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QPointer>

#include <algorithm>

namespace {

const auto kIconArt = QStringLiteral(":/art/quendra.svg");
constexpr qint32 kLeftButton = 1;
constexpr qint32 kRightButton = 2;
// The tip's room, in characters or bytes.
constexpr qsizetype kTipRoom = 63;

std::optional<bool> g_pretendTrayHost;

// What the tray shows of a tip, cut as it always has been to fit a 64-byte
// field: up to a NUL, its first 63 characters when Windows-1252 has a byte
// for each (and those bytes do not read as other text in UTF-8), else as
// many whole characters as 63 bytes of UTF-8 hold.
QString shownTip(QStringView tip)
{
    if (const qsizetype nul = tip.indexOf(QChar()); nul >= 0)
        tip.truncate(nul);
    tip.truncate(std::min(tip.size(), kTipRoom));
    if (const std::optional<QByteArray> bytes = encodeCp1252(tip); bytes && decodeBody(*bytes) == tip)
        return tip.toString();
    // Else the whole characters that 63 bytes of UTF-8 hold. Half a surrogate
    // pair is written "?" there, and a byte-order mark in front is no text.
    QString shown;
    qsizetype room = kTipRoom;
    for (qsizetype i = 0; i < tip.size(); ++i) {
        const bool pair = tip[i].isHighSurrogate() && i + 1 < tip.size() && tip[i + 1].isLowSurrogate();
        const char16_t c = tip[i].isSurrogate() && !pair ? u'?' : tip[i].unicode();
        room -= pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (room < 0)
            break;
        if (pair)
            shown += tip.sliced(i++, 2);
        else if (i > 0 || c != QChar::ByteOrderMark)
            shown += QChar(c);
    }
    return shown;
}

} // namespace

frmSystray::frmSystray(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_menu(new QMenu(this))
{
    // Closing the hidden window only removes the icon; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Item 0 exists from the start; the first AddMenuItem takes it over.
    m_items.push_back({newItemAction(), QString(), QString()});
}

frmSystray::~frmSystray()
{
    // The icon goes before the menu it shows.
    removeIcon();
}

void frmSystray::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_picture = PictureBox::renderIcon(kIconArt);
    setWindowIcon(m_picture);
    m_tip = shownTip(tr("Quendra, a remote control for httpQ"));

    m_icon = new QSystemTrayIcon(this);
    // Before the icon shows: a StatusNotifier host reads the item's menu
    // once, when the item appears.
    m_icon->setContextMenu(m_menu);
    // Queued: the owner's answer (a modal menu, closing the program) runs
    // from the event loop, not inside the icon's own mouse handler.
    connect(m_icon, &QSystemTrayIcon::activated, this, &frmSystray::iconActivated, Qt::QueuedConnection);
    m_icon->setToolTip(m_tip);
    m_icon->setIcon(m_picture);
    // Qt refuses to show an icon without a picture; the place just stays empty.
    m_icon->setVisible(!m_picture.isNull());
}

void frmSystray::ensureLoaded() const
{
    // Reading a property adds the icon too, as any other first use does.
    if (!m_loaded)
        const_cast<frmSystray *>(this)->Form_Load();
}

void frmSystray::removeIcon()
{
    // Deleted at once: the icon's clicks reach us queued, never from inside it.
    delete m_icon;
    m_icon = nullptr;
}

void frmSystray::closeEvent(QCloseEvent *event)
{
    removeIcon();
    event->accept();
}

bool frmSystray::notificationAreaAvailable()
{
    return g_pretendTrayHost ? *g_pretendTrayHost : QSystemTrayIcon::isSystemTrayAvailable();
}

void frmSystray::setNotificationAreaAvailable(std::optional<bool> pretend)
{
    g_pretendTrayHost = pretend;
}

QString frmSystray::ToolTip() const
{
    ensureLoaded();
    return m_tip;
}

void frmSystray::SetToolTip(const QString &sTip)
{
    ensureLoaded();
    const QString tip = shownTip(sTip);
    if (tip == m_tip)
        return;
    m_tip = tip;
    if (m_icon)
        m_icon->setToolTip(m_tip);
}

QIcon frmSystray::IconHandle() const
{
    ensureLoaded();
    return m_picture;
}

void frmSystray::SetIconHandle(const QIcon &hIcon)
{
    ensureLoaded();
    if (hIcon.cacheKey() == m_picture.cacheKey())
        return;
    m_picture = hIcon;
    if (m_icon) {
        m_icon->setIcon(m_picture);
        m_icon->setVisible(!m_picture.isNull());
    }
}

qint32 frmSystray::AddMenuItem(const QString &sCaption, const QString &sKey, bool bDefault)
{
    ensureLoaded();
    qint32 index = 0;
    if (!m_hasItems) {
        m_hasItems = true;
    } else {
        index = menuItemCount();
        m_items.push_back({newItemAction(), QString(), QString()});
    }
    m_items[static_cast<size_t>(index)].key = sKey;
    setItemCaption(index, sCaption);
    if (bDefault)
        m_defaultIndex = index;
    updateDefaultAction();
    return index;
}

void frmSystray::EnableMenuItem(qint32 lIndex, bool bState)
{
    ensureLoaded();
    if (isValidMenuIndex(lIndex))
        m_items[static_cast<size_t>(lIndex)].action->setEnabled(bState);
}

qint32 frmSystray::RemoveMenuItem(qint32 iIndex)
{
    ensureLoaded();
    if (!isValidMenuIndex(iIndex))
        return 0;
    if (iIndex == 0) {
        // Item 0 stays, emptied, with its key; the next addition still appends.
        setItemCaption(0, QString());
        return 0;
    }
    for (qint32 i = iIndex + 1; i < menuItemCount(); ++i) {
        const MenuItem &next = m_items[static_cast<size_t>(i)];
        setItemCaption(i - 1, next.caption);
        m_items[static_cast<size_t>(i - 1)].key = next.key;
    }
    // Deleting the action takes it out of the menu, and out of an open popup.
    delete m_items.back().action;
    m_items.pop_back();
    updateDefaultAction();
    return 0;
}

qint32 frmSystray::DefaultMenuIndex() const
{
    ensureLoaded();
    return m_defaultIndex;
}

void frmSystray::SetDefaultMenuIndex(qint32 lIndex)
{
    ensureLoaded();
    m_defaultIndex = isValidMenuIndex(lIndex) ? lIndex : 0;
    updateDefaultAction();
}

void frmSystray::ShowMenu()
{
    ensureLoaded();
    // The window is never shown, so it is not brought forward for the menu;
    // a Qt popup closes on a click outside it by itself.
    if (m_menu->isVisible())
        return;

    // Not parented: the component may be deleted while the menu is open.
    QMenu mnuPopup;
    for (const MenuItem &item : m_items)
        mnuPopup.addAction(item.action);
    // A default index whose item was removed just leaves the menu without one.
    if (isValidMenuIndex(m_defaultIndex))
        mnuPopup.setDefaultAction(m_items[static_cast<size_t>(m_defaultIndex)].action);

    const QPointer<frmSystray> self(this);
    m_menuShowing = true;
    const QAction *chosen = mnuPopup.exec(QCursor::pos());
    if (!self)
        return;
    m_menuShowing = false;
    if (const qint32 index = indexOf(chosen); index >= 0)
        emit MenuClick(index, menuKey(index)); // the handler may delete this component
}

void frmSystray::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_icon)
        return;
    // A handler may close or delete the component: then nothing more is raised.
    const QPointer<frmSystray> self(this);
    const auto stillThere = [&self] { return self && self->m_icon; };
    switch (reason) {
    case QSystemTrayIcon::Trigger: emit SysTrayMouseDown(kLeftButton); break;
    case QSystemTrayIcon::DoubleClick:
        // A double click ends with the release that also makes it a click.
        emit SysTrayDoubleClick(kLeftButton);
        if (stillThere())
            emit SysTrayMouseDown(kLeftButton);
        break;
    case QSystemTrayIcon::Context:
        emit SysTrayMouseDown(kRightButton);
        if (stillThere())
            emit SysTrayMouseUp(kRightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown: break;
    }
}

bool frmSystray::isValidMenuIndex(qint32 lIndex) const
{
    return lIndex >= 0 && lIndex < menuItemCount();
}

qint32 frmSystray::indexOf(const QAction *action) const
{
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [action](const MenuItem &item) { return item.action == action; });
    return found == m_items.end() ? -1 : static_cast<qint32>(found - m_items.begin());
}

void frmSystray::setItemCaption(qint32 lIndex, const QString &sCaption)
{
    MenuItem &item = m_items[static_cast<size_t>(lIndex)];
    item.caption = sCaption;
    QAction *action = item.action;
    // A caption of exactly "-" draws a separator line, without text: some
    // styles print a separator's text beside the line. "&" marks the mnemonic.
    const bool separator = sCaption == u"-";
    action->setSeparator(separator);
    action->setText(separator ? QString() : sCaption);
}

QAction *frmSystray::newItemAction()
{
    auto *action = new QAction(this);
    m_menu->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] { itemTriggered(action); });
    return action;
}

void frmSystray::itemTriggered(const QAction *action)
{
    // ShowMenu raises the event for its own menu once it has closed.
    if (m_menuShowing)
        return;
    if (const qint32 index = indexOf(action); index >= 0) {
        // Posted: the owner may delete the component, and with it the menu
        // that is still delivering the choice.
        QMetaObject::invokeMethod(
            this, [this, index, key = menuKey(index)] { emit MenuClick(index, key); }, Qt::QueuedConnection);
    }
}

void frmSystray::updateDefaultAction()
{
    m_menu->setDefaultAction(menuAction(m_defaultIndex));
}

QAction *frmSystray::menuAction(qint32 lIndex) const
{
    return isValidMenuIndex(lIndex) ? m_items[static_cast<size_t>(lIndex)].action : nullptr;
}

QString frmSystray::menuKey(qint32 lIndex) const
{
    return isValidMenuIndex(lIndex) ? m_items[static_cast<size_t>(lIndex)].key : QString();
}
