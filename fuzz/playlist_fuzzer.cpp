// Any answer text cut into pieces at any places: the list is the same as
// from one piece, titles are never repeated or lost, and the fill never
// crashes.

#include "core/playlist/playlist_logic.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

class Entries final : public PlaylistEntries
{
public:
    QStringList list{QStringLiteral("Loading...")};
    int count() const override { return int(list.size()); }
    void setEntry(int position, const QString &text) override
    {
        if (position == list.size())
            list.append(text);
        else if (position < list.size())
            list[position] = text;
        else
            std::abort();
    }
    void removeEntries(int position, int number) override
    {
        if (position < 0 || number < 0 || position + number > list.size())
            std::abort();
        list.remove(position, number);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the piece size; the rest is the answer.
    const int pieceSize = 1 + bytes[0] % 16;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(bytes + 1), qsizetype(size - 1));

    Entries whole;
    PlaylistFill wholeFill;
    wholeFill.add(text, whole);
    wholeFill.finish(whole);

    Entries pieces;
    PlaylistFill pieceFill;
    // Fill twice: the second, identical answer must leave the same list.
    for (int round = 0; round < 2; ++round) {
        for (qsizetype at = 0; at < text.size(); at += pieceSize)
            pieceFill.add(QStringView(text).mid(at, pieceSize), pieces);
        pieceFill.finish(pieces);
        if (pieces.list != whole.list)
            std::abort();
    }

    const QStringList parts = text.split(QStringLiteral("<br>"));
    if (whole.list.size() != parts.size() || whole.list.last() != QStringLiteral(" "))
        std::abort();
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (whole.list.at(i) != QStringLiteral("   ") + parts.at(i))
            std::abort();
    }
    return 0;
}
