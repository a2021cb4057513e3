#pragma once

#include "core/async/task.h"
#include "services/httpq/httpqclient.h"

#include <QtGlobal>

#include <QString>

#include <optional>

class PlayerLine;
class QWidget;

// What the playlist window needs of the bar it hangs below. The bar hands
// itself over as this when it makes the window, so that the playlist's code
// never includes the bar's.
class PlaylistHost
{
public:
    // The window the playlist docks below and is minimised along with.
    virtual QWidget *barWindow() = 0;
    // Reads the shuffle state, which frames a jump to a chosen entry: the
    // read, sent when it is awaited (from a press's own handler, as the
    // press's first request), then what its answer makes of the state.
    virtual HttpqClient::Request shuffleRead() = 0;
    virtual void takeShuffleState(const std::optional<QString> &answer) = 0;
    // The line every window's presses take.
    virtual PlayerLine *playerLine() const = 0;
    // The player's list position as it last answered, if it has.
    virtual std::optional<qint16> playerListPosition() const = 0;
    // A press started a song: a reader hears what starts.
    virtual void startPressed() = 0;

protected:
    PlaylistHost() = default;
    ~PlaylistHost() = default;
    Q_DISABLE_COPY_MOVE(PlaylistHost)
};
