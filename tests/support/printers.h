#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

// GoogleTest prints Qt's strings as text, not as bytes.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
