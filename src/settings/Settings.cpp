#include "settings/Settings.h"

#include "settings/iniActions.h"

void ResetSettingsRecord()
{
    gControlUrl.clear();
    gWinampHeight = gWinampBarHeight = gWinampX = gWinampY = 0;
    gPlaylistUrl.clear();
    gPlaylistHeight = gPlaylistBarHeight = gPlaylistVisible = gAttachArea = 0;
    gPlaylistX = gPlaylistY = 0;
    gQuendraType.clear();
    gProxy.clear();
    gRefresh = 0;
    gHttpqPasswd.clear();
    gHttpqPort.clear();
    gHttpqServer.clear();
    gIniPath.clear();
    gTitleText.clear();
    gListPos = gShuffleState = gMarqueeRestart = gPlaylistDocked = 0;
    ForgetReadValues();
}
