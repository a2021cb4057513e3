// The bar's polls of the player and the presses on its face and marks.
#include "windows/bar/frm_quendra.h"

#include "core/settings/settings.h"
#include "core/text/numbers.h"
#include "platform/widgets/formtimer.h"
#include "platform/widgets/picturebox.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/bar/media_events.h"
#include "windows/playlist/frm_quendraplaylist.h"
#include "windows/settings_dialog/frmsettings.h"

namespace {
constexpr int kVolumeEvery = 5;
} // namespace

HttpqClient::Request frm_Quendra::sendCommand(const QString &command, const QString &argument)
{
    return NetworkConnection->Fetch(HttpqClient::BuildUrl(command, argument));
}

async::Task<bool> frm_Quendra::sendPlayerCommand(QString command, QString argument)
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return false;
    const std::optional<QString> answer = co_await sendCommand(command, argument);
    co_return answer &&tookCommand(*answer);
}

async::Task<> frm_Quendra::switchPlayerMode(bool shuffle, bool on)
{
    // As the SHUF and LOOP spots and their ON marks: one press, the command
    // then the check.
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(shuffle ? QStringLiteral("/shuffle?p=") : QStringLiteral("/repeat?p="),
                         on ? QStringLiteral("&a=1") : QStringLiteral("&a=0"));
    if (shuffle)
        co_await ShuffleCheck();
    else
        co_await LoopCheck();
}

async::Task<std::optional<qint16>> frm_Quendra::setPlayerVolume(qint16 level)
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return std::nullopt;
    // The player names this argument: it takes no "&a=".
    const std::optional<QString> answer = co_await sendCommand(QStringLiteral("/setvolume?p="),
                                                               QStringLiteral("&level=%1").arg(level));
    if (!answer || !tookCommand(*answer))
        co_return std::nullopt;
    // The volume the player then has; where it cannot say, the one it took.
    const std::optional<qint16> now = co_await readVolume();
    if (!now && m_volume != level) {
        m_volume = level;
        emit m_mediaEvents->volumeChanged(level);
    }
    co_return m_volume;
}

async::Task<std::optional<qint16>> frm_Quendra::readVolume()
{
    const std::optional<qint16> level = co_await readNumber(InetStatusCheck, HttpqClient::BuildUrl(u"/getvolume?p="),
                                                            true);
    if (!level || *level < 0 || *level > 255)
        co_return std::nullopt;
    if (m_volume != level) {
        m_volume = level;
        emit m_mediaEvents->volumeChanged(*level);
    }
    co_return level;
}

async::Task<> frm_Quendra::picQuendraDirect_MouseDown(Qt::MouseButton button, float x, float y)
{
    Q_UNUSED(button)
    const std::optional<FaceCell> cell = faceCellAt(x, y);
    if (!cell)
        co_return;
    const std::optional<BarButton> spot = faceButtonAt(*cell);
    if (!spot)
        co_return;
    if (*spot == BarButton::Playlist) {
        TogglePlaylist();
        co_return;
    }
    // A press the player cannot take now is dropped, never sent late.
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    switch (*spot) {
    case BarButton::Shuffle:
        co_await sendCommand(QString::fromUtf16(faceCommand(*spot)), QStringLiteral("&a=1"));
        co_await ShuffleCheck();
        co_return;
    case BarButton::Repeat:
        co_await sendCommand(QString::fromUtf16(faceCommand(*spot)), QStringLiteral("&a=1"));
        co_await LoopCheck();
        co_return;
    default: co_await sendCommand(QString::fromUtf16(faceCommand(*spot))); co_return;
    }
}

async::Task<> frm_Quendra::timRefreshSongTitle_Timer()
{
    timRefreshSongTitle->setInterval(gRefresh);
    if (const std::optional<qint16> statusInterval = add16(gRefresh, kStatusPollDelayMs))
        timRefreshStatus->setInterval(*statusInterval);

    // A tick still waiting for the player goes on; another beside it would
    // only cancel its reads (the shuffle check cancels what holds the status
    // channel) and pile up behind a slow player.
    if (m_titlePollRunning)
        co_return;
    // Cleared at the end; a tick destroyed unfinished goes with its bar.
    m_titlePollRunning = true;

    if (!NetworkConnection->IsBusy()) {
        const std::optional<QString> answer = co_await NetworkConnection->Fetch(
            HttpqClient::BuildUrl(u"/getcurrenttitle?p="));
        // A failed read is the empty title, which the face takes as a change.
        const QString title = answer.value_or(QString());

        qint16 listPos = 0;
        const std::optional<QString> position = co_await NetworkConnection->Fetch(
            HttpqClient::BuildUrl(u"/getlistpos?p="));
        const std::optional<qint16> answeredPos = position ? HttpqClient::WholeNumber(*position) : std::nullopt;
        listPos = answeredPos.value_or(listPos);
        m_listPos = listPos;
        if (answeredPos)
            m_playerListPos = answeredPos;

        if (title != mLastTitle) {
            mLastTitle = title;
            gMarqueeRestart = -1;
            gTitleText = title;
            playlistWindow()->ShowCurrentSongInPlaylist(listPos);

            // Each value keeps what it had when its request or conversion fails.
            const auto readInfo = [this](QStringView command, QStringView argument, bool whole) {
                return readNumber(InetStatusCheck, HttpqClient::BuildUrl(command, argument), whole);
            };
            mSampleRate = (co_await readInfo(u"/getinfo?p=", u"&a=0", false)).value_or(mSampleRate);
            mBitRate = (co_await readInfo(u"/getinfo?p=", u"&a=1", false)).value_or(mBitRate);
            mChannels = (co_await readInfo(u"/getinfo?p=", u"&a=2", true)).value_or(mChannels);
            mTrackLength = (co_await readInfo(u"/getoutputtime?p=", u"&a=1", false)).value_or(mTrackLength);

            lblChannels->setText(mChannels == 1 ? tr("mono") : tr("stereo"));
            lblSongInfo->setText(songInfoCaption(mTrackLength, mBitRate, mSampleRate));
            // The restart stands also when the song information reads 0 (nothing
            // plays): withdrawn, it left the new title running into itself,
            // without its separator, by the old title's cycle.
            // The desktop hears of a new song from the player only.
            if (answer)
                emit m_mediaEvents->songChanged(title, listPos, mTrackLength);
        }
    }

    co_await ShuffleCheck();
    co_await LoopCheck();
    m_titlePollRunning = false;
}

async::Task<std::optional<qint16>> frm_Quendra::readNumber(HttpqClient *channel, QString url, bool whole)
{
    const std::optional<QString> answer = co_await channel->Fetch(url);
    if (!answer)
        co_return std::nullopt;
    co_return whole ? HttpqClient::WholeNumber(*answer) : HttpqClient::LeadingNumber(*answer);
}

void frm_Quendra::timDisplaySongtitle_Timer()
{
    if (m_marquee.step(gTitleText, gMarqueeRestart))
        lblSongTitle->setRing(m_marquee.text, m_marquee.ringSize);
    lblSongTitle->setRotation(m_marquee.rotation);
}

async::Task<> frm_Quendra::timRefreshStatus_Timer()
{
    if (InetStatusCheck->IsBusy())
        co_return;
    const std::optional<QString> answer = co_await InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/isplaying?p="));
    const qint16 lastPlayState = mPlayState;
    if (answer) {
        if (const std::optional<qint16> state = HttpqClient::LeadingNumber(*answer))
            mPlayState = *state;
    }
    if (mPlayState != lastPlayState)
        emit m_mediaEvents->playStateChanged(mPlayState);
    showPlayState();
    if (!answer || !m_mediaPolled)
        co_return;
    // The volume changes seldom at the player: every fifth answer reads it,
    // the first one at once, so that the poll costs one request most times.
    if (m_ticksSinceVolume++ % kVolumeEvery == 0)
        co_await readVolume();
    if (mPlayState == 1)
        co_await readPosition();
}

async::Task<> frm_Quendra::readPosition()
{
    // The length is read at a change of title; a song started from stopped
    // on the same title had none then.
    if (mTrackLength <= 0) {
        const std::optional<qint16> seconds = co_await readNumber(
            InetStatusCheck, HttpqClient::BuildUrl(u"/getoutputtime?p=", u"&a=1"), false);
        if (seconds && *seconds > 0 && mTrackLength <= 0) {
            mTrackLength = *seconds;
            emit m_mediaEvents->trackLengthChanged(mTrackLength);
        }
    }
    // Milliseconds: beyond the 16 bits of the other answers.
    if (const std::optional<QString> answer = co_await InetStatusCheck->Fetch(
            HttpqClient::BuildUrl(u"/getoutputtime?p=", u"&a=0"))) {
        bool ok = false;
        const qint64 ms = answer->trimmed().toLongLong(&ok);
        if (ok && ms >= 0) {
            // Held to what microseconds can carry, with room for the time
            // the position is moved on by.
            m_positionMs = std::min(ms, kMaxPositionMs);
            m_sincePosition.start();
        }
    }
}

qint64 frm_Quendra::positionMs() const
{
    qint64 position = m_positionMs;
    if (mPlayState == 1 && m_sincePosition.isValid() && playerReachable())
        position += m_sincePosition.elapsed();
    if (mTrackLength > 0)
        position = std::min<qint64>(position, qint64(mTrackLength) * 1000);
    return position;
}

void frm_Quendra::setPositionMs(qint64 ms)
{
    m_positionMs = ms;
    m_sincePosition.start();
}

void frm_Quendra::showPlayState()
{
    if (!playerReachable()) {
        lblStatus->setText(tr("Offline"));
        return;
    }
    switch (mPlayState) {
    case 0: lblStatus->setText(tr("Stopped")); break;
    case 1: lblStatus->setText(tr("Playing")); break;
    case 3: lblStatus->setText(tr("Paused")); break;
    default: break;
    }
}

bool frm_Quendra::playerReachable() const
{
    return m_line->isReachable();
}

bool frm_Quendra::shuffleOn() const
{
    return gShuffleState == 1;
}

bool frm_Quendra::tookCommand(QStringView answer)
{
    // The server's one error answer, for a wrong password as for a command
    // it cannot carry out.
    return answer.trimmed() != u"0";
}

async::Task<> frm_Quendra::ShuffleCheck()
{
    takeShuffleState(co_await shuffleRead());
}

HttpqClient::Request frm_Quendra::shuffleRead()
{
    // What the polls asked on the channel gives way; a press's read, which
    // this check may belong to or follow, goes on.
    if (InetStatusCheck->IsBusy())
        InetStatusCheck->cancelPolls();
    return InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/shuffle_status?p="));
}

void frm_Quendra::takeShuffleState(const std::optional<QString> &answer)
{
    const std::optional<qint16> state = answer ? HttpqClient::LeadingNumber(*answer) : std::nullopt;
    const bool wasOn = gShuffleState == 1;
    gShuffleState = state.value_or(gShuffleState);
    picShuffleStatus->setVisible(gShuffleState == 1);
    if ((gShuffleState == 1) != wasOn)
        emit m_mediaEvents->shuffleChanged(gShuffleState == 1);
}

async::Task<> frm_Quendra::LoopCheck()
{
    HttpqClient::Request read = InetStatusCheck->Fetch(HttpqClient::BuildUrl(u"/repeat_status?p="));
    const std::optional<QString> answer = co_await read;
    // A read cancelled by another check, or never sent, tells nothing about
    // the player: the mark stays as it is.
    if (read.wasGivenUp())
        co_return;
    // Unrounded: only an exact 1 is on; a read the player did not answer is not.
    const bool on = answer && leadingValue(*answer) == 1.0;
    picLoopStatus->setVisible(on);
    // The desktop hears what the player answered, nothing else.
    if (answer && on != m_repeatOn) {
        m_repeatOn = on;
        emit m_mediaEvents->repeatChanged(on);
    }
}

async::Task<> frm_Quendra::picShuffleStatus_Click()
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(QStringLiteral("/shuffle?p="), QStringLiteral("&a=0"));
    co_await ShuffleCheck();
}

async::Task<> frm_Quendra::picLoopStatus_Click()
{
    const bool going = co_await m_line->press();
    if (!going)
        co_return;
    co_await sendCommand(QStringLiteral("/repeat?p="), QStringLiteral("&a=0"));
    co_await LoopCheck();
}

void frm_Quendra::clickButton(BarButton button)
{
    // While a mode is on its ON mark covers the spot, and a click there
    // reaches the mark, which switches the mode off.
    switch (button) {
    case BarButton::Shuffle:
        if (!picShuffleStatus->isHidden()) {
            picShuffleStatus_Click();
            return;
        }
        break;
    case BarButton::Repeat:
        if (!picLoopStatus->isHidden()) {
            picLoopStatus_Click();
            return;
        }
        break;
    case BarButton::Playlist:
        if (!picPlayListStatus->isHidden()) {
            picPlayListStatus_Click();
            return;
        }
        break;
    default: break;
    }
    const QPointF at = barButtonCentre(button);
    if (isStripButton(button)) {
        TopBar_MouseDown(1, 0, float(at.x()), float(at.y()));
        // Opened from the keyboard, the dialog takes the keyboard, also where
        // no window manager gives new windows the focus.
        if (button == BarButton::Settings && m_settingsDialog && m_settingsDialog->isVisible())
            m_settingsDialog->activateWindow();
    } else
        picQuendraDirect_MouseDown(Qt::LeftButton, float(at.x()), float(at.y()));
}
