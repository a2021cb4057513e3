#include "core/settings/settings_store.h"

#include "core/ini/private_profile.h"
#include "core/ini/profile_text.h"
#include "core/settings/settings.h"
#include "core/text/code_page.h"
#include "core/text/numbers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace {

QString g_settingsFolder;

// A value shows as its first 149 bytes (what a 150-byte buffer holds); its bytes
// are kept whole all the same, so that a save does not cut it.
constexpr qsizetype kValueBytesHeld = 149;

// What each key was last read as: its bytes in the file and the text they showed.
struct ReadValue
{
    QByteArray bytes;
    QString text;
};
QHash<QString, ReadValue> g_readValues;

QString valueName(const QString &section, const QString &key)
{
    return section.toUpper() + u'/' + key.toUpper();
}

// The value's text, held to its first 149 bytes: UTF-8 when the whole value is
// valid UTF-8 (a character the cut would split goes whole), else Windows-1252.
QString heldText(const QByteArray &bytes)
{
    if (bytes.size() <= kValueBytesHeld)
        return decodeBody(bytes);
    if (!QByteArrayView(bytes).isValidUtf8())
        return decodeBody(bytes).left(kValueBytesHeld);
    // A decoder that keeps state holds back a character cut short, waiting for the rest.
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8.decode(bytes.first(kValueBytesHeld));
}

// A file from Windows keeps its code page for a new or changed value that fits in
// it and reads back the same; anything else, and every value of a new file, is UTF-8.
QByteArray encodeValue(const QString &text)
{
    const bool windowsFile = std::any_of(g_readValues.cbegin(), g_readValues.cend(), [](const ReadValue &value) {
        return !QByteArrayView(value.bytes).isValidUtf8();
    });
    if (windowsFile) {
        const std::optional<QByteArray> bytes = encodeCp1252(text);
        if (bytes && decodeBody(*bytes) == text)
            return *bytes;
    }
    return text.toUtf8();
}

qint16 readNumber(const QString &section, const QString &key, const QString &defaultText)
{
    return settingsNumber(ReadIniValue(section, key, defaultText));
}

int readPosition(const QString &section, const QString &key, const QString &defaultText)
{
    return settingsPosition(ReadIniValue(section, key, defaultText));
}

// The values of one save, written to the file together: one replacement of
// it, whole or not at all, whatever the number of keys.
class SaveBatch
{
public:
    // An unchanged value goes back as the bytes it was read from.
    void add(const char *section, const char *key, const QString &value)
    {
        const auto read = g_readValues.constFind(valueName(QLatin1StringView(section), QLatin1StringView(key)));
        const QByteArray bytes = read != g_readValues.constEnd() && read->text == value ? read->bytes
                                                                                        : encodeValue(value);
        m_values.push_back({section, key, QByteArray::fromStdString(profile::quotedIfNeeded(bytes.toStdString()))});
    }
    void add(const char *section, const char *key, int value)
    {
        m_values.push_back({section, key, QByteArray::number(value)});
    }
    void write() const { writeProfileStrings(m_values, gIniPath); }

private:
    std::vector<ProfileValue> m_values;
};

} // namespace

void setSettingsFolder(const QString &folder)
{
    g_settingsFolder = folder;
}

bool isInstalledProgramFolder(const QString &programFolder)
{
    const QString folder = QDir::cleanPath(programFolder);
    const auto within = [&folder](const QString &top) { return folder == top || folder.startsWith(top + u'/'); };
    return within(QStringLiteral("/usr")) || within(QStringLiteral("/opt"))
        || folder == QDir::cleanPath(QStringLiteral(QUENDRA_INSTALL_BINDIR))
        || QFileInfo(folder + QStringLiteral("/" QUENDRA_MODULE_RELATIVE_DIR)).isDir()
        || QFileInfo(folder + QStringLiteral("/" QUENDRA_ENTRY_RELATIVE_PATH)).isFile();
}

QString chooseSettingsFile(const QString &programFolder, bool installed, const QString &configFolder,
                           const std::function<bool(const QString &path)> &writable)
{
    const QString beside = programFolder + QStringLiteral("/Quendra.ini");
    if (QFileInfo::exists(beside) && writable(beside))
        return beside;
    if (!installed && writable(programFolder))
        return beside;
    return configFolder + QStringLiteral("/Quendra.ini");
}

QString settingsFilePath()
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
    const QString path = chooseSettingsFile(
        programFolder, isInstalledProgramFolder(programFolder), configFolder,
        [](const QString &candidate) { return access(QFile::encodeName(candidate).constData(), W_OK) == 0; });
    if (path.startsWith(configFolder))
        QDir().mkpath(configFolder);
    return path;
}

void forgetReadValues()
{
    g_readValues.clear();
}

QString ReadIniValue(const QString &section, const QString &key, const QString &defaultText)
{
    const QByteArray bytes = readProfileString(section.toUtf8(), key.toUtf8(), defaultText.toUtf8(), gIniPath);
    const QString text = heldText(bytes);
    g_readValues.insert(valueName(section, key), {bytes, text});
    return text;
}

void LoadSettings()
{
    gIniPath = settingsFilePath();

    const QString winamp = QStringLiteral("WINAMP");
    gControlUrl = ReadIniValue(winamp, QStringLiteral("URL"), QString::fromUtf16(kDefaultControlUrl));
    gWinampHeight = readNumber(winamp, QStringLiteral("HEIGHT"), QStringLiteral("1995"));
    gWinampBarHeight = readNumber(winamp, QStringLiteral("BAR_HEIGHT"), QStringLiteral("225"));
    gWinampX = readPosition(winamp, QStringLiteral("X_STARTUP_POSITION"), QStringLiteral("0"));
    gWinampY = readPosition(winamp, QStringLiteral("Y_STARTUP_POSITION"), QStringLiteral("0"));

    const QString playlist = QStringLiteral("PLAYLIST");
    gPlaylistUrl = ReadIniValue(playlist, QStringLiteral("URL"), QString::fromUtf16(kDefaultPlaylistUrl));
    gPlaylistHeight = readNumber(playlist, QStringLiteral("HEIGHT"), QStringLiteral("1995"));
    gPlaylistBarHeight = readNumber(playlist, QStringLiteral("BAR_HEIGHT"), QStringLiteral("500"));
    gPlaylistVisible = readNumber(playlist, QStringLiteral("VISIBLE"), QStringLiteral("1"));
    gAttachArea = readNumber(playlist, QStringLiteral("ATTACH_AREA"), QStringLiteral("750"));
    gPlaylistX = readPosition(playlist, QStringLiteral("X_STARTUP_POSITION"), QStringLiteral("0"));
    gPlaylistY = readPosition(playlist, QStringLiteral("Y_STARTUP_POSITION"), QStringLiteral("1995"));

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
    SaveBatch save;
    save.add("PLAYLIST", "VISIBLE", gPlaylistVisible);
    save.add("PLAYLIST", "HEIGHT", gPlaylistHeight);
    save.write();
}

void SaveSettings(const WindowPositions &positions)
{
    SaveBatch save;
    save.add("WINAMP", "URL", gControlUrl);
    save.add("WINAMP", "HEIGHT", gWinampHeight);
    save.add("WINAMP", "BAR_HEIGHT", gWinampBarHeight);
    save.add("WINAMP", "X_STARTUP_POSITION", positions.bar.x());
    save.add("WINAMP", "Y_STARTUP_POSITION", positions.bar.y());
    save.add("PLAYLIST", "URL", gPlaylistUrl);
    save.add("PLAYLIST", "HEIGHT", gPlaylistHeight);
    save.add("PLAYLIST", "BAR_HEIGHT", gPlaylistBarHeight);
    save.add("PLAYLIST", "VISIBLE", gPlaylistVisible);
    save.add("PLAYLIST", "X_STARTUP_POSITION", positions.playlist.x());
    save.add("PLAYLIST", "Y_STARTUP_POSITION", positions.playlist.y());
    save.add("HTTPQ", "QUENDRA_TYPE", gQuendraType);
    save.add("HTTPQ", "PROXY", gProxy);
    save.add("HTTPQ", "REFRESH", gRefresh);
    save.add("HTTPQ", "HTTPQ_PASSWD", gHttpqPasswd);
    save.add("HTTPQ", "HTTPQ_PORT", gHttpqPort);
    save.add("HTTPQ", "HTTPQ_SERVER", gHttpqServer);
    save.write();
}

void resetSettingsRecord()
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
    forgetReadValues();
}
