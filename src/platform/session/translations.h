#pragma once

#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

// The program's texts in the language of `locale`, from the translations
// built into the program; null when there is none for it (English, the
// language of the source, needs none).
std::unique_ptr<QTranslator> loadTranslation(const QLocale &locale);

// Installs the translation for the system's locale, if there is one, for
// the rest of the run. Call after the application object exists and
// before the first window.
void installTranslations();

// A text in the system's language where no application object exists yet
// (none can be made, or none is needed): a message printed as the program
// ends. Mark the source with QT_TRANSLATE_NOOP.
QString translateBeforeStart(const char *context, const char *sourceText);
