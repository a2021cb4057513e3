#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>

// Runs `open`, which shows a modal popup menu, while `act` works that menu
// from the event loop; a menu left open fails the test instead of hanging it.
inline void WithMenu(const std::function<void()> &open, const std::function<void(QMenu *)> &act)
{
    QTimer actor;
    actor.setSingleShot(true);
    QObject::connect(&actor, &QTimer::timeout, [&act] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        act(menu);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        ADD_FAILURE() << "the menu stayed open";
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    });
    actor.start(0);
    guard.start(5000);
    open();
}

// Chooses the item with that text as a user does, with the keyboard.
inline void ChooseMenuItem(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->text() == text) {
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
    }
    ADD_FAILURE() << "no item " << text.toStdString();
    menu->close();
}
