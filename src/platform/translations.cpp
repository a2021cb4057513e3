#include "platform/translations.h"

#include <QCoreApplication>
#include <QTranslator>

std::unique_ptr<QTranslator> LoadTranslation(const QLocale &locale)
{
    auto translator = std::make_unique<QTranslator>();
    // Tries each of the locale's languages in turn: quendra_de_AT, quendra_de, ...
    if (!translator->load(locale, QStringLiteral("quendra"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return nullptr;
    return translator;
}

void InstallTranslations()
{
    if (std::unique_ptr<QTranslator> translator = LoadTranslation(QLocale())) {
        QTranslator *installed = translator.release();
        installed->setParent(QCoreApplication::instance());
        QCoreApplication::installTranslator(installed);
    }
}
