#pragma once

// The process-wide settings record: every window reads its sizes, positions,
// mode and connection data from here. The file-backed fields are filled by
// LoadSettings; the run-time fields are shared state of the windows.

#include <QString>

// [WINAMP]
inline QString gControlUrl;
inline qint16 gWinampHeight = 0;
inline qint16 gWinampBarHeight = 0;
// The four start-up positions are whole: no 16-bit limit.
inline int gWinampX = 0;
inline int gWinampY = 0;
// [PLAYLIST]
inline QString gPlaylistUrl;
inline qint16 gPlaylistHeight = 0;
inline qint16 gPlaylistBarHeight = 0;
inline qint16 gPlaylistVisible = 0;
inline qint16 gAttachArea = 0;
inline int gPlaylistX = 0;
inline int gPlaylistY = 0;
// [HTTPQ]
inline QString gQuendraType;
inline QString gProxy;
inline qint16 gRefresh = 0;
inline QString gHttpqPasswd;
inline QString gHttpqPort;
inline QString gHttpqServer;

inline QString gIniPath;

// Run-time state shared by the windows, never stored.
inline QString gTitleText;
inline qint16 gListPos = 0;
inline qint16 gShuffleState = 0;
inline qint16 gMarqueeRestart = 0;
inline qint16 gPlaylistDocked = 0;

// Direct mode is selected by this exact text only.
inline constexpr auto kDirectType = u"DIRECT";

inline bool isDirectMode()
{
    return gQuendraType == kDirectType;
}
