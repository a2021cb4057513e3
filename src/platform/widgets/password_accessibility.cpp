#include "platform/widgets/password_accessibility.h"

#include <QAccessible>
#include <QLineEdit>
#include <QStyle>

namespace {

QAccessible::UpdateHandler g_passOn = nullptr;

void maskPasswords(QAccessibleEvent *event);

// To the handler that was there before, or, when there was none, where Qt
// sends an update without a handler: the platform's accessibility bridge.
void passOn(QAccessibleEvent *event)
{
    if (g_passOn) {
        g_passOn(event);
        return;
    }
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(maskPasswords);
}

const QLineEdit *passwordField(const QAccessibleEvent *event)
{
    const auto *field = qobject_cast<const QLineEdit *>(event->object());
    return field && field->echoMode() != QLineEdit::Normal ? field : nullptr;
}

QString masked(const QLineEdit *field, const QString &text)
{
    const auto mask = char16_t(field->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, field));
    return QString(text.size(), mask ? QChar(mask) : QChar(u'*'));
}

void maskPasswords(QAccessibleEvent *event)
{
    const QLineEdit *field = passwordField(event);
    if (!field) {
        passOn(event);
        return;
    }
    QObject *object = event->object();
    switch (event->type()) {
    case QAccessible::TextInserted: {
        const auto *inserted = static_cast<const QAccessibleTextInsertEvent *>(event);
        QAccessibleTextInsertEvent mask(object, inserted->changePosition(), masked(field, inserted->textInserted()));
        passOn(&mask);
        break;
    }
    case QAccessible::TextRemoved: {
        const auto *removed = static_cast<const QAccessibleTextRemoveEvent *>(event);
        QAccessibleTextRemoveEvent mask(object, removed->changePosition(), masked(field, removed->textRemoved()));
        passOn(&mask);
        break;
    }
    case QAccessible::TextUpdated: {
        const auto *updated = static_cast<const QAccessibleTextUpdateEvent *>(event);
        QAccessibleTextUpdateEvent mask(object, updated->changePosition(), masked(field, updated->textRemoved()),
                                        masked(field, updated->textInserted()));
        passOn(&mask);
        break;
    }
    // A value is the text itself; the caret's and the selection's moves
    // carry places only, and pass.
    case QAccessible::ValueChanged: break;
    default: passOn(event);
    }
}

} // namespace

void keepPasswordsFromAssistiveTechnologies()
{
    // On top of whatever handler came since (a test's), passing to it.
    const QAccessible::UpdateHandler before = QAccessible::installUpdateHandler(maskPasswords);
    if (before != maskPasswords)
        g_passOn = before;
}
