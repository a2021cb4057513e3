#pragma once

// The settings store: reads the settings file into the Settings record and
// writes it back, one private-profile call per key.

#include <QPoint>
#include <QString>

// The file's folder is the executable's; tests point it elsewhere.
void SetSettingsFolder(const QString &folder);
QString SettingsFolder();

void LoadSettings();
QString ReadIniValue(const QString &section, const QString &key, const QString &defaultText);
void SavePlaylistState();

// The windows' current top left corners, in twips.
struct WindowPositions
{
    QPoint bar;
    QPoint playlist;
};
void SaveSettings(const WindowPositions &positions);

inline constexpr auto kDefaultControlUrl = u"http://www.quendra.example/live/logo.vesk";
inline constexpr auto kDefaultPlaylistUrl = u"http://www.quendra.example/live/install.vesk";
