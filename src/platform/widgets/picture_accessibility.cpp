#include "platform/widgets/picturebox.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>

namespace {

// One spot of a picture. It has no object of its own: it lives as long as
// the picture's interface, which registers and removes it.
class SpotAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    SpotAccessible(PictureBox *picture, qsizetype index)
        : m_picture(picture)
        , m_index(index)
    { }

    bool isValid() const override { return m_picture && m_index < m_picture->spots().size(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_picture ? m_picture->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_picture.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        return t == QAccessible::Name ? spot().name : QString();
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect area = m_picture->spotRect(m_index);
        return QRect(m_picture->mapToGlobal(area.topLeft()), area.size());
    }
    // A switch is what a checkable push button is to Qt: a check box, read
    // with its state, whose changes the reader announces.
    QAccessible::Role role() const override
    {
        return isValid() && spot().isOn ? QAccessible::CheckBox : QAccessible::Button;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.invisible = !m_picture->isVisible();
        state.focusable = true;
        state.focused = m_picture->markedSpot() == m_index && m_picture->window()->isActiveWindow();
        if (spot().isOn) {
            state.checkable = true;
            state.checked = spot().isOn();
        }
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        if (isValid() && spot().isOn)
            return {pressAction(), toggleAction()};
        return {pressAction()};
    }
    QStringList keyBindingsForAction(const QString &action) const override
    {
        if (!isValid() || !actionNames().contains(action) || spot().key.isEmpty())
            return {};
        return {spot().key};
    }
    void doAction(const QString &action) override
    {
        if (!isValid() || !actionNames().contains(action) || !spot().press)
            return;
        // After the caller has had its answer: the press may wait on the
        // player, and the assistive technology should not.
        QMetaObject::invokeMethod(m_picture.data(), spot().press, Qt::QueuedConnection);
    }

private:
    const PictureBox::Spot &spot() const { return m_picture->spots()[m_index]; }

    QPointer<PictureBox> m_picture;
    qsizetype m_index;
};

class PictureBoxAccessible final : public QAccessibleWidget
{
public:
    explicit PictureBoxAccessible(PictureBox *picture)
        : QAccessibleWidget(picture, picture->isButton() ? QAccessible::Button : QAccessible::Client)
    { }
    ~PictureBoxAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_spotIds))
            QAccessible::deleteAccessibleInterface(id);
    }

    PictureBox *picture() const { return static_cast<PictureBox *>(widget()); }

    int childCount() const override { return QAccessibleWidget::childCount() + int(picture()->spots().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const qsizetype spot = index - widgets;
        if (spot >= picture()->spots().size())
            return nullptr;
        if (const auto known = m_spotIds.constFind(spot); known != m_spotIds.cend())
            return QAccessible::accessibleInterface(*known);
        QAccessibleInterface *made = new SpotAccessible(picture(), spot);
        m_spotIds.insert(spot, QAccessible::registerAccessibleInterface(made));
        return made;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_spotIds.cbegin(); it != m_spotIds.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return QAccessibleWidget::childCount() + int(it.key());
        }
        return QAccessibleWidget::indexOfChild(child);
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = picture()->mapFromGlobal(QPoint(x, y));
        for (qsizetype i = 0; i < picture()->spots().size(); ++i) {
            if (picture()->spotRect(i).contains(local))
                return child(QAccessibleWidget::childCount() + int(i));
        }
        return QAccessibleWidget::childAt(x, y);
    }
    QAccessibleInterface *focusChild() const override
    {
        const qsizetype marked = picture()->markedSpot();
        if (marked >= 0 && picture()->window()->isActiveWindow())
            return child(QAccessibleWidget::childCount() + int(marked));
        return QAccessibleWidget::focusChild();
    }

    QStringList actionNames() const override
    {
        return picture()->isButton() ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (picture()->isButton() && action == pressAction()) {
            QMetaObject::invokeMethod(
                picture(),
                [picture = QPointer<PictureBox>(picture())] {
                    if (picture)
                        emit picture->clicked();
                },
                Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    mutable QHash<qsizetype, QAccessible::Id> m_spotIds;
};

QAccessibleInterface *pictureFactory(const QString &className, QObject *object)
{
    if (className == u"PictureBox") {
        if (auto *picture = qobject_cast<PictureBox *>(object))
            return new PictureBoxAccessible(picture);
    }
    return nullptr;
}

QAccessibleInterface *spotInterface(PictureBox *picture, qsizetype spot)
{
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(picture);
    if (!box)
        return nullptr;
    return box->child(box->childCount() - int(picture->spots().size()) + int(spot));
}

} // namespace

void installPictureAccessibility()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(pictureFactory);
}

void notifySpotFocus(PictureBox *picture, qsizetype spot)
{
    if (!QAccessible::isActive())
        return;
    if (QAccessibleInterface *child = spotInterface(picture, spot)) {
        QAccessibleEvent event(child, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void notifySpotStateChanged(PictureBox *picture, qsizetype spot)
{
    if (!QAccessible::isActive())
        return;
    if (QAccessibleInterface *child = spotInterface(picture, spot)) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(child, changed);
        QAccessible::updateAccessibility(&event);
    }
}
