#pragma once

// The settings store: reads the settings file into the Settings record and
// writes it back, one private-profile call per key.

#include <QPoint>
#include <QString>

#include <functional>

// The settings file: beside the program while that folder can be written,
// or while a writable file is already there; otherwise (an installed copy
// in a system folder) in the user's configuration folder, so that nothing
// is lost from one start to the next.
QString ChooseSettingsFile(const QString &programFolder, const QString &configFolder,
                           const std::function<bool(const QString &path)> &writable);
// Tests point the file's folder elsewhere; empty restores the rule above.
void SetSettingsFolder(const QString &folder);
QString SettingsFilePath();

void LoadSettings();
// Forgets the bytes each value was read as (the record is back to its state at start).
void ForgetReadValues();
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
