#pragma once

// The private-profile (INI) file, read and written as Windows does it. Every
// read and write of the settings file goes through these two functions. Names
// and values are the file's bytes (Windows-1252, or UTF-8 where valid), never
// converted through QString, so that an unchanged value goes back as it was.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

// The whole value of [section] key in the file at path. A missing or unreadable
// file, section or key yields def, less its trailing spaces and then one pair of
// quotes, as Windows gives it.
QByteArray readProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView def, const QString &path);

// Sets [section] key to value in the file at path, creating what is missing.
// Returns true on success. The file is replaced whole or left as it was; a new
// file is readable by its owner only, an old one keeps its mode and owner, and
// a symbolic link stays a link to the file written. There are no deletions: an
// empty value is written as an empty value.
bool writeProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path);

// One key's value in a write of several.
struct ProfileValue
{
    QByteArray section;
    QByteArray key;
    QByteArray value;
};
// Sets each value in turn, as as many writeProfileString calls would, with a
// single replacement of the file: all of them reach it or none does. A value
// refused (a name that would break the file) is left out, and the result is
// then false, as that call's would be.
bool writeProfileStrings(const std::vector<ProfileValue> &values, const QString &path);

// The steps of a write, for tests that make one fail as a full or failing disk would.
enum class ProfileWriteStep { CreateTemporary, Reserve, Write, Sync, Close, Rename };
// Each (step, errno value) fails once, the next time that step runs; {} clears them.
void failProfileWriteSteps(std::vector<std::pair<ProfileWriteStep, int>> faults);
