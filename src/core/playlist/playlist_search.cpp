#include "core/playlist/playlist_search.h"

#include <algorithm>

namespace {

constexpr QStringView kTitlePrefix = u"   ";

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

QStringView entryTitle(QStringView entry)
{
    return entry.startsWith(kTitlePrefix) ? entry.sliced(kTitlePrefix.size()) : entry;
}

QString foldForSearch(QStringView text)
{
    const QString apart = text.toString().normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(apart.size());
    for (const QChar c : apart) {
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

std::optional<qsizetype> findTitle(const QStringList &entries, qsizetype count, QStringView typed, qsizetype from)
{
    count = std::clamp<qsizetype>(count, 0, entries.size());
    const QString wanted = foldForSearch(typed);
    if (wanted.isEmpty() || count == 0)
        return std::nullopt;
    // Most titles are plain ASCII: those are compared in place, without
    // taking them apart first.
    const bool asciiWanted = isAscii(wanted);
    const auto holds = [&](QStringView title) {
        if (asciiWanted && isAscii(title))
            return title.contains(wanted, Qt::CaseInsensitive);
        return foldForSearch(title).contains(wanted);
    };
    from = from < 0 || from >= count ? 0 : from;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = (from + i) % count;
        if (holds(entryTitle(entries.at(at))))
            return at;
    }
    return std::nullopt;
}
