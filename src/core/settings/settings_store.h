#pragma once

// The settings store: reads the settings file into the Settings record, one
// private-profile read per key, and writes it back, each save in one write.

#include <QPoint>
#include <QString>

#include <functional>

// Whether the program in this folder is an installed copy: one under /usr or
// /opt, in the folder the build was made to install to, or in the bin folder
// of any install tree (its browser module where the install puts it).
bool isInstalledProgramFolder(const QString &programFolder);
// The settings file. A writable file already beside the program is used (a
// portable copy). Otherwise an installed copy keeps it in the user's
// configuration folder, even where it could write its own folder (root, a
// private prefix): a bin folder is shared with other programs. A copy in a
// folder of its own keeps it beside itself while that folder can be written,
// else in the configuration folder, so that nothing is lost between starts.
QString chooseSettingsFile(const QString &programFolder, bool installed, const QString &configFolder,
                           const std::function<bool(const QString &path)> &writable);
// Tests point the file's folder elsewhere; empty restores the rule above.
void setSettingsFolder(const QString &folder);
QString settingsFilePath();

void LoadSettings();
// Puts every field back to its state at process start (for a fresh window set).
void resetSettingsRecord();
// Forgets the bytes each value was read as (the record is back to its state at start).
void forgetReadValues();
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
