#include "platform/session/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

std::unique_ptr<QTranslator> loadTranslation(const QLocale &locale)
{
    auto translator = std::make_unique<QTranslator>();
    // Tries each of the locale's languages in turn: quendra_de_AT, quendra_de, ...
    if (!translator->load(locale, QStringLiteral("quendra"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return nullptr;
    return translator;
}

void installTranslations()
{
    std::unique_ptr<QTranslator> translator = loadTranslation(QLocale());
    if (!translator)
        return;
    auto install = [](std::unique_ptr<QTranslator> loaded) {
        QTranslator *installed = loaded.release();
        installed->setParent(QCoreApplication::instance());
        QCoreApplication::installTranslator(installed);
    };
    install(std::move(translator));
    // Qt's own texts (a line edit's context menu) from the system's Qt
    // translations, where they are installed (qt6-translations-l10n).
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        install(std::move(qt));
}

QString translateBeforeStart(const char *context, const char *sourceText)
{
    static const std::unique_ptr<QTranslator> translator = loadTranslation(QLocale());
    const QString translated = translator ? translator->translate(context, sourceText) : QString();
    return translated.isEmpty() ? QString::fromUtf8(sourceText) : translated;
}
