#pragma once

// Finding a playlist entry by typing part of its title, and the title an
// entry holds. No widgets, so tests can drive it directly.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The title an entry holds: the entry without the blanks the list shows
// before each title ("Loading..." and the blank end entry hold none).
QStringView entryTitle(QStringView entry);

// A text as a search compares it: compatibility forms and accents taken
// apart and the accents dropped, then case folded ("Motörhead" and
// "MOTORHEAD" both give "motorhead").
QString foldForSearch(QStringView text);

// The first of the first `count` entries, from `from` on and round again
// from the start, whose title holds `typed` whatever its case and accents;
// nothing when none does or nothing was typed.
std::optional<qsizetype> findTitle(const QStringList &entries, qsizetype count, QStringView typed, qsizetype from);
