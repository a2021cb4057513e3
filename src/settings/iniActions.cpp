#include "settings/iniActions.h"

#include "httpq/answer_conversions.h"
#include "platform/private_profile.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString g_settingsFolder;

constexpr DWORD kValueBufferSize = 150;

// Length of text without a multi-byte UTF-8 character that the buffer cut off.
qsizetype withoutCutCharacter(const char *text, qsizetype length)
{
    qsizetype lead = length;
    int continuation = 0;
    while (lead > 0 && continuation < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
        ++continuation;
    }
    if (lead == 0)
        return length;
    const auto byte = static_cast<unsigned char>(text[lead - 1]);
    int expected = 0;
    if ((byte & 0xE0) == 0xC0)
        expected = 1;
    else if ((byte & 0xF0) == 0xE0)
        expected = 2;
    else if ((byte & 0xF8) == 0xF0)
        expected = 3;
    else
        return length;
    return continuation < expected ? lead - 1 : length;
}

qint16 readNumber(const QString &section, const QString &key, const QString &defaultText)
{
    return SettingsNumber(ReadIniValue(section, key, defaultText));
}

void writeValue(const char *section, const char *key, const QString &value)
{
    WritePrivateProfileStringA(section, key, value.toUtf8().constData(), gIniPath.toUtf8().constData());
}

void writeValue(const char *section, const char *key, int value)
{
    writeValue(section, key, QString::number(value));
}

} // namespace

void SetSettingsFolder(const QString &folder)
{
    g_settingsFolder = folder;
}

QString ChooseSettingsFile(const QString &programFolder, const QString &configFolder,
                           const std::function<bool(const QString &path)> &writable)
{
    const QString beside = programFolder + QStringLiteral("/Quendra.ini");
    if (writable(programFolder) || (QFileInfo::exists(beside) && writable(beside)))
        return beside;
    return configFolder + QStringLiteral("/Quendra.ini");
}

QString SettingsFilePath()
{
    if (!g_settingsFolder.isEmpty())
        return g_settingsFolder + QStringLiteral("/Quendra.ini");
    // Before the application object exists (the start-up peeks at the mode)
    // the program's folder comes from the process itself.
    const QString programFolder = QCoreApplication::instance()
        ? QCoreApplication::applicationDirPath()
        : QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    const QString configFolder = configHome + QStringLiteral("/quendra");
    const QString path = ChooseSettingsFile(programFolder, configFolder, [](const QString &candidate) {
        return access(QFile::encodeName(candidate).constData(), W_OK) == 0;
    });
    if (path.startsWith(configFolder))
        QDir().mkpath(configFolder);
    return path;
}

QString ReadIniValue(const QString &section, const QString &key, const QString &defaultText)
{
    char buffer[kValueBufferSize] = {};
    const DWORD copied = GetPrivateProfileStringA(section.toUtf8().constData(), key.toUtf8().constData(),
                                                  defaultText.toUtf8().constData(), buffer,
                                                  kValueBufferSize, gIniPath.toUtf8().constData());
    qsizetype length = std::min<qsizetype>(copied, kValueBufferSize - 1);
    if (length == kValueBufferSize - 1)
        length = withoutCutCharacter(buffer, length);
    return QString::fromUtf8(buffer, length);
}

void LoadSettings()
{
    gIniPath = SettingsFilePath();

    const QString winamp = QStringLiteral("WINAMP");
    gControlUrl = ReadIniValue(winamp, QStringLiteral("URL"), QString::fromUtf16(kDefaultControlUrl));
    gWinampHeight = readNumber(winamp, QStringLiteral("HEIGHT"), QStringLiteral("1995"));
    gWinampBarHeight = readNumber(winamp, QStringLiteral("BAR_HEIGHT"), QStringLiteral("225"));
    gWinampX = readNumber(winamp, QStringLiteral("X_STARTUP_POSITION"), QStringLiteral("0"));
    gWinampY = readNumber(winamp, QStringLiteral("Y_STARTUP_POSITION"), QStringLiteral("0"));

    const QString playlist = QStringLiteral("PLAYLIST");
    gPlaylistUrl = ReadIniValue(playlist, QStringLiteral("URL"), QString::fromUtf16(kDefaultPlaylistUrl));
    gPlaylistHeight = readNumber(playlist, QStringLiteral("HEIGHT"), QStringLiteral("1995"));
    gPlaylistBarHeight = readNumber(playlist, QStringLiteral("BAR_HEIGHT"), QStringLiteral("500"));
    gPlaylistVisible = readNumber(playlist, QStringLiteral("VISIBLE"), QStringLiteral("1"));
    gAttachArea = readNumber(playlist, QStringLiteral("ATTACH_AREA"), QStringLiteral("750"));
    gPlaylistX = readNumber(playlist, QStringLiteral("X_STARTUP_POSITION"), QStringLiteral("0"));
    gPlaylistY = readNumber(playlist, QStringLiteral("Y_STARTUP_POSITION"), QStringLiteral("1995"));

    const QString httpq = QStringLiteral("HTTPQ");
    gQuendraType = ReadIniValue(httpq, QStringLiteral("QUENDRA_TYPE"), QStringLiteral("HTTPQ")).left(6);
    gProxy = ReadIniValue(httpq, QStringLiteral("PROXY"), QStringLiteral("DEFAULT"));
    gRefresh = readNumber(httpq, QStringLiteral("REFRESH"), QStringLiteral("1000"));
    gHttpqPasswd = ReadIniValue(httpq, QStringLiteral("HTTPQ_PASSWD"), QString());
    gHttpqPort = ReadIniValue(httpq, QStringLiteral("HTTPQ_PORT"), QStringLiteral("4800"));
    gHttpqServer = ReadIniValue(httpq, QStringLiteral("HTTPQ_SERVER"), QString());
}

void SavePlaylistState()
{
    writeValue("PLAYLIST", "VISIBLE", gPlaylistVisible);
    writeValue("PLAYLIST", "HEIGHT", gPlaylistHeight);
}

void SaveSettings(const WindowPositions &positions)
{
    writeValue("WINAMP", "URL", gControlUrl);
    writeValue("WINAMP", "HEIGHT", gWinampHeight);
    writeValue("WINAMP", "BAR_HEIGHT", gWinampBarHeight);
    writeValue("WINAMP", "X_STARTUP_POSITION", positions.bar.x());
    writeValue("WINAMP", "Y_STARTUP_POSITION", positions.bar.y());
    writeValue("PLAYLIST", "URL", gPlaylistUrl);
    writeValue("PLAYLIST", "HEIGHT", gPlaylistHeight);
    writeValue("PLAYLIST", "BAR_HEIGHT", gPlaylistBarHeight);
    writeValue("PLAYLIST", "VISIBLE", gPlaylistVisible);
    writeValue("PLAYLIST", "X_STARTUP_POSITION", positions.playlist.x());
    writeValue("PLAYLIST", "Y_STARTUP_POSITION", positions.playlist.y());
    writeValue("HTTPQ", "QUENDRA_TYPE", gQuendraType);
    writeValue("HTTPQ", "PROXY", gProxy);
    writeValue("HTTPQ", "REFRESH", gRefresh);
    writeValue("HTTPQ", "HTTPQ_PASSWD", gHttpqPasswd);
    writeValue("HTTPQ", "HTTPQ_PORT", gHttpqPort);
    writeValue("HTTPQ", "HTTPQ_SERVER", gHttpqServer);
}
