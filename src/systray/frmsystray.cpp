#include "frmsystray.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPointer>

#include <cmath>
#include <cstring>

namespace {

const auto kIconArt = QStringLiteral(":/art/quendra.svg");
const auto kDescription = QStringLiteral("Quendra, a remote control for httpQ");

QByteArray StoredTip(const NOTIFYICONDATAA &nid)
{
    return QByteArray(nid.szTip, qstrnlen(nid.szTip, sizeof nid.szTip));
}

// The text, its NUL, then blanks up to the field's end.
void StoreTip(NOTIFYICONDATAA &nid, const QByteArray &bytes)
{
    std::memset(nid.szTip, ' ', sizeof nid.szTip);
    std::memcpy(nid.szTip, bytes.constData(), static_cast<size_t>(bytes.size()));
    nid.szTip[bytes.size()] = '\0';
}

} // namespace

frmSystray::frmSystray(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_label(new QLabel(QStringLiteral("This is an invisible screen, needed for the systray part. "
                                        "Includes a popup menu that's build at runtime."),
                         this))
    , m_menu(new QMenu(this))
{
    setWindowTitle(QStringLiteral("Sys Tray Interface"));
    m_label->setWordWrap(true);
    // Closing the hidden window only removes the icon; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_menu->setTitle(QStringLiteral("&Popup"));
    // Item 0 exists from the start; the first AddMenuItem takes it over.
    m_items.push_back({newItemAction(), QString(), QString()});
}

frmSystray::~frmSystray()
{
    RemoveIcon();
}

void frmSystray::Form_Load()
{
    if (m_iconState != IconState::NotLoaded)
        return;
    m_iconState = IconState::Shown;

    static const qint32 programIcon = RegisterIconHandle(QIcon(kIconArt));
    setWindowIcon(IconForHandle(programIcon));

    m_nid.hWnd = RegisterNotifyWindow(
        [this](int x) { Form_MouseMove(Qt::NoButton, Qt::NoModifier, static_cast<float>(x), 0.0f); }, m_menu);
    m_nid.uID = static_cast<quint32>(programIcon);
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_MOUSEMOVE;
    m_nid.hIcon = programIcon;
    StoreTip(m_nid, NotifyTipBytes(kDescription));
    m_nid.cbSize = sizeof m_nid;
    Shell_NotifyIconA(NIM_ADD, &m_nid);
}

void frmSystray::EnsureLoaded() const
{
    // Reading a property creates the window too, as any other first use does.
    if (m_iconState == IconState::NotLoaded)
        const_cast<frmSystray *>(this)->Form_Load();
}

void frmSystray::RemoveIcon()
{
    if (m_iconState != IconState::Shown)
        return;
    m_iconState = IconState::Removed;
    Shell_NotifyIconA(NIM_DELETE, &m_nid);
    UnregisterNotifyWindow(m_nid.hWnd);
}

void frmSystray::closeEvent(QCloseEvent *event)
{
    RemoveIcon();
    event->accept();
}

QString frmSystray::ToolTip() const
{
    EnsureLoaded();
    return NotifyTipText(StoredTip(m_nid));
}

void frmSystray::SetToolTip(const QString &sTip)
{
    EnsureLoaded();
    const QByteArray bytes = NotifyTipBytes(sTip);
    if (bytes == StoredTip(m_nid))
        return;
    StoreTip(m_nid, bytes);
    m_nid.uFlags = NIF_TIP;
    if (m_iconState == IconState::Shown)
        Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

qint32 frmSystray::IconHandle() const
{
    EnsureLoaded();
    return m_nid.hIcon;
}

void frmSystray::SetIconHandle(qint32 hIcon)
{
    EnsureLoaded();
    if (hIcon == m_nid.hIcon)
        return;
    // uID keeps the value it got at creation: it names the icon to the platform.
    m_nid.hIcon = hIcon;
    m_nid.uFlags = NIF_ICON;
    if (m_iconState == IconState::Shown)
        Shell_NotifyIconA(NIM_MODIFY, &m_nid);
}

qint32 frmSystray::AddMenuItem(const QString &sCaption, const QString &sKey, bool bDefault)
{
    EnsureLoaded();
    qint32 index = 0;
    if (!m_hasItems) {
        m_hasItems = true;
    } else {
        index = menuItemCount();
        m_items.push_back({newItemAction(), QString(), QString()});
    }
    MenuItem &item = m_items[static_cast<size_t>(index)];
    item.action->setVisible(true);
    item.key = sKey;
    SetItemCaption(index, sCaption);
    if (bDefault)
        m_defaultIndex = index;
    updateDefaultAction();
    return index;
}

void frmSystray::EnableMenuItem(qint32 lIndex, bool bState)
{
    EnsureLoaded();
    if (IsValidMenuIndex(lIndex))
        m_items[static_cast<size_t>(lIndex)].action->setEnabled(bState);
}

qint32 frmSystray::DefaultMenuIndex() const
{
    EnsureLoaded();
    return m_defaultIndex;
}

void frmSystray::SetDefaultMenuIndex(qint32 lIndex)
{
    EnsureLoaded();
    m_defaultIndex = IsValidMenuIndex(lIndex) ? lIndex : 0;
    updateDefaultAction();
}

void frmSystray::ShowMenu()
{
    EnsureLoaded();
    // A never-shown window cannot be brought to the foreground, and a Qt popup
    // closes on an outside click by itself, so nothing is done for that.
    if (m_menu->isVisible())
        return;

    // Not parented: the component may be deleted while the menu is open.
    QMenu mnuPopup;
    mnuPopup.setTitle(QStringLiteral("&Popup"));
    for (const MenuItem &item : m_items)
        mnuPopup.addAction(item.action);
    // A default index whose item was removed just leaves the menu without one.
    if (IsValidMenuIndex(m_defaultIndex))
        mnuPopup.setDefaultAction(m_items[static_cast<size_t>(m_defaultIndex)].action);

    const QPointer<frmSystray> self(this);
    m_menuShowing = true;
    const QAction *chosen = mnuPopup.exec(QCursor::pos());
    if (!self)
        return;
    m_menuShowing = false;
    if (!chosen)
        return;
    for (qint32 i = 0; i < menuItemCount(); ++i) {
        if (m_items[static_cast<size_t>(i)].action == chosen) {
            const QString key = m_items[static_cast<size_t>(i)].key;
            emit MenuClick(i, key);
            return; // the handler may have deleted this component
        }
    }
}

void frmSystray::Form_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, float x,
                                float y)
{
    // Only the code in x matters: the button states (really uID) and y are unused.
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(y);
    // nearbyint rounds a half to the even neighbour (the default rounding mode).
    const double pixels = std::nearbyint(static_cast<double>(x));
    if (!(std::fabs(pixels) < 1e9))
        return;
    // The left button's press raises nothing: its release is the click.
    switch (static_cast<int>(pixels)) {
    case 0x200:
        emit SysTrayMouseMove();
        break;
    case 0x202:
        emit SysTrayMouseDown(1);
        break;
    case 0x203:
        emit SysTrayDoubleClick(1);
        break;
    case 0x204:
        emit SysTrayMouseDown(2);
        break;
    case 0x205:
        emit SysTrayMouseUp(2);
        break;
    case 0x206:
        emit SysTrayDoubleClick(2);
        break;
    default:
        break;
    }
}

bool frmSystray::IsValidMenuIndex(qint32 lIndex) const
{
    return lIndex >= 0 && lIndex < menuItemCount();
}

void frmSystray::SetItemCaption(qint32 lIndex, const QString &sCaption)
{
    MenuItem &item = m_items[static_cast<size_t>(lIndex)];
    item.caption = sCaption;
    // A caption of exactly "-" draws a separator line, without text: some
    // styles print a separator's text beside the line. "&" marks the mnemonic.
    const bool separator = sCaption == u"-";
    item.action->setSeparator(separator);
    item.action->setText(separator ? QString() : sCaption);
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
    for (qint32 i = 0; i < menuItemCount(); ++i) {
        if (m_items[static_cast<size_t>(i)].action == action) {
            // Posted: the owner may delete the component, and with it the
            // menu that is still delivering the choice.
            const QString key = m_items[static_cast<size_t>(i)].key;
            QMetaObject::invokeMethod(this, [this, i, key] { emit MenuClick(i, key); }, Qt::QueuedConnection);
            return;
        }
    }
}

void frmSystray::updateDefaultAction()
{
    m_menu->setDefaultAction(IsValidMenuIndex(m_defaultIndex) ? m_items[static_cast<size_t>(m_defaultIndex)].action
                                                               : nullptr);
}

QAction *frmSystray::menuAction(qint32 lIndex) const
{
    return IsValidMenuIndex(lIndex) ? m_items[static_cast<size_t>(lIndex)].action : nullptr;
}

QString frmSystray::menuKey(qint32 lIndex) const
{
    return IsValidMenuIndex(lIndex) ? m_items[static_cast<size_t>(lIndex)].key : QString();
}
