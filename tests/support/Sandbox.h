#pragma once

#include "bar/frm_Quendra.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "settings_dialog/frmSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A settings file of the test's own in a temporary folder, with the shared
// settings record reset before and after.
class SettingsSandbox
{
public:
    SettingsSandbox()
    {
        ResetSettingsRecord();
        SetSettingsFolder(m_folder.path());
    }
    ~SettingsSandbox()
    {
        SetSettingsFolder(QString());
        ResetSettingsRecord();
    }
    bool isValid() const { return m_folder.isValid(); }
    QString folder() const { return m_folder.path(); }
    QString iniPath() const { return m_folder.filePath(QStringLiteral("Quendra.ini")); }
    void write(const QByteArray &bytes) const
    {
        QFile file(iniPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    QByteArray read() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_folder;
};

// The program's windows for one test, closed in order when it ends; the
// program's end is recorded instead of carried out.
class TestWindows
{
public:
    TestWindows()
    {
        frm_Quendra::SetProgramEnd([this] { ++ends; });
    }
    ~TestWindows()
    {
        close();
        frm_Quendra::SetProgramEnd({});
    }
    // A new bar, loaded from the settings file as at a start.
    frm_Quendra &start()
    {
        close();
        bar = std::make_unique<frm_Quendra>();
        bar->Form_Load();
        return *bar;
    }
    void close()
    {
        delete frmSettings::existing();
        bar.reset();
        frm_QuendraPlaylist::destroyInstance();
    }

    std::unique_ptr<frm_Quendra> bar;
    int ends = 0;
};
