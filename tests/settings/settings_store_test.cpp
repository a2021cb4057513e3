#include "core/ini/private_profile.h"
#include "support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <tuple>

using namespace Qt::StringLiterals;

namespace {

class SettingsStore : public testing::Test
{
protected:
    SettingsSandbox m_settings;
};

TEST_F(SettingsStore, ReadsWhatWindowsReadsFromAnyFile)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) & 0xFF);
    const QString url = QString::fromUtf16(kDefaultControlUrl);
    // The file; the control page, the bar's height, the mode and the refresh read from it.
    const std::tuple<QByteArray, QString, qint16, QString, qint16> cases[] = {
        {"[HTTPQ]\nQUENDRA_TYPE=\nREFRESH=\n[WINAMP]\nURL=\nHEIGHT=\n", {}, 0, {}, 0},
        {"[HTTPQ]\nQUENDRA_TYPE=DIRECTLY\n", url, 1995, u"DIRECT"_s, 1000},
        {"[HTTPQ]\nQUENDRA_TYPE=direct\n", url, 1995, u"direct"_s, 1000},
        {garbage + "\n[WINAMP]\nHEIGHT=1500\n", url, 1500, u"HTTPQ"_s, 1000},
    };
    for (const auto &[bytes, controlUrl, height, type, refresh] : cases) {
        m_settings.write(bytes);
        LoadSettings();
        EXPECT_EQ(gControlUrl, controlUrl);
        EXPECT_EQ(gWinampHeight, height);
        EXPECT_EQ(gQuendraType, type);
        EXPECT_EQ(gRefresh, refresh);
    }
}

// A bar closed on the second of two 1920-pixel monitors (x = 2900 px is
// 43500 twips) reopens there: the positions keep their whole value, the
// other numbers their 16-bit rule.
TEST_F(SettingsStore, PositionsKeepTheirWholeValueThroughASaveAndTheNextStart)
{
    m_settings.write("[WINAMP]\nX_STARTUP_POSITION=43500\nY_STARTUP_POSITION=-40000\nHEIGHT=43500\n"
                     "[PLAYLIST]\nX_STARTUP_POSITION=57600.5\nY_STARTUP_POSITION=  70000px\n");
    LoadSettings();
    EXPECT_EQ(QPoint(gWinampX, gWinampY), QPoint(43500, -40000));
    EXPECT_EQ(QPoint(gPlaylistX, gPlaylistY), QPoint(57600, 70000));
    EXPECT_EQ(gWinampHeight, 32767);
    SaveSettings({QPoint(43500, 49995), QPoint(-43500, 1995)});
    resetSettingsRecord();
    LoadSettings();
    EXPECT_EQ(QPoint(gWinampX, gWinampY), QPoint(43500, 49995));
    EXPECT_EQ(QPoint(gPlaylistX, gPlaylistY), QPoint(-43500, 1995));
}

// A whole settings file, so that a save with nothing changed adds no key.
QByteArray completeFile(const QByteArray &url, const QByteArray &passwd, const QByteArray &server)
{
    return "[WINAMP]\r\nURL=" + url
        + "\r\nHEIGHT=1995\r\nBAR_HEIGHT=225\r\n"
          "X_STARTUP_POSITION=15\r\nY_STARTUP_POSITION=30\r\n"
          "[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=2400\r\nBAR_HEIGHT=500\r\nVISIBLE=1\r\n"
          "X_STARTUP_POSITION=15\r\nY_STARTUP_POSITION=2025\r\n"
          "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=1000\r\nHTTPQ_PASSWD="
        + passwd + "\r\nHTTPQ_PORT=4800\r\nHTTPQ_SERVER=" + server + "\r\n";
}

// A save is one replacement of the file: a failing disk at any of its steps
// leaves the file exactly as it was, never with some keys saved and others
// not; the same save then goes through whole.
TEST_F(SettingsStore, EachSaveIsOneWriteOfTheWholeFileOrNone)
{
    using Step = ProfileWriteStep;
    const std::pair<Step, int> faults[] = {
        {Step::CreateTemporary, ENOSPC},
        {Step::Write, ENOSPC},
        {Step::Sync, EIO},
        {Step::Close, EIO},
        {Step::Rename, EIO},
    };
    const QByteArray before = completeFile("http://h/c", "old", "player.lan");
    const QByteArray after = "[WINAMP]\r\nURL=http://h/c\r\nHEIGHT=1995\r\nBAR_HEIGHT=225\r\n"
                             "X_STARTUP_POSITION=150\r\nY_STARTUP_POSITION=300\r\n"
                             "[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=3000\r\nBAR_HEIGHT=500\r\nVISIBLE=0\r\n"
                             "X_STARTUP_POSITION=150\r\nY_STARTUP_POSITION=2295\r\n"
                             "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=NO\r\nREFRESH=500\r\nHTTPQ_PASSWD=new\r\n"
                             "HTTPQ_PORT=4801\r\nHTTPQ_SERVER=other.lan\r\n";
    const auto change = [] {
        LoadSettings();
        gPlaylistHeight = 3000;
        gPlaylistVisible = 0;
        gProxy = u"NO"_s;
        gRefresh = 500;
        gHttpqPasswd = u"new"_s;
        gHttpqPort = u"4801"_s;
        gHttpqServer = u"other.lan"_s;
    };
    for (const auto &fault : faults) {
        SCOPED_TRACE(int(fault.first));
        m_settings.write(before);
        change();
        failProfileWriteSteps({fault});
        SaveSettings({QPoint(150, 300), QPoint(150, 2295)});
        EXPECT_EQ(m_settings.read(), before);
        failProfileWriteSteps({fault});
        SavePlaylistState();
        EXPECT_EQ(m_settings.read(), before);
        failProfileWriteSteps({});
        SaveSettings({QPoint(150, 300), QPoint(150, 2295)});
        EXPECT_EQ(m_settings.read(), after);
    }
    EXPECT_EQ(QDir(QFileInfo(m_settings.iniPath()).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"Quendra.ini"_s});
}

TEST_F(SettingsStore, FilesKeepTheirCodePageAndEveryUnchangedByteThroughLoadAndSave)
{
    // A file from Windows keeps its code page for a typed value that fits in it and
    // reads back the same; anything else, and a file without such bytes, gets UTF-8.
    const QByteArray cut = QByteArray(148, 'b') + "\xC3\xA9tail"; // the cut would split the é
    const QString h = u"http://h/c"_s;
    const struct
    {
        const char *name;
        QByteArray url, passwd, server;
        QString shownUrl, shownPasswd, shownServer;
        QString typed = {}; // a password typed after the load, and the bytes it is stored as
        QByteArray stored = {};
    } cases[] = {
        {"Windows-1252", "http://h/c", "p\xE4ssw\xF6rd", "caf\xE9.lan", h, u"pässwörd"_s, u"café.lan"_s},
        {"UTF-8", "http://h/c", "p\xC3\xA4ssw\xC3\xB6rd", "caf\xC3\xA9.lan", h, u"pässwörd"_s, u"café.lan"_s},
        {"mixed", "http://h/\x80", "p\xE4ssw\xF6rd", "caf\xC3\xA9.lan", u"http://h/€"_s, u"pässwörd"_s, u"café.lan"_s},
        {"quoted and padded", "'http://h/c'", "\"  pa ss  \"", "\"\"x\"\"", h, u"  pa ss  "_s, u"\"x\""_s},
        {"longer than 149 bytes, up to a megabyte", QByteArray(1 << 20, 'a'), cut,
         QByteArray(147, 'c') + "\xE2\x82\xAC", QString(149, u'a'), QString(148, u'b'), QString(147, u'c')},
        {"typed into a Windows file", "http://h/c", "pw", "caf\xE9.lan", h, u"pw"_s, u"café.lan"_s, u"pässwörd €"_s,
         "p\xE4ssw\xF6rd \x80"},
        {"typed Windows bytes that read as UTF-8", "http://h/c", "pw", "caf\xE9.lan", h, u"pw"_s, u"café.lan"_s,
         u"Ã©"_s, "\xC3\x83\xC2\xA9"},
        {"typed beyond Windows-1252", "http://h/c", "pw", "caf\xE9.lan", h, u"pw"_s, u"café.lan"_s, u"日本"_s,
         "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"typed into a plain file", "http://h/c", "pw", "s", h, u"pw"_s, u"s"_s, u"pässwörd"_s,
         "p\xC3\xA4ssw\xC3\xB6rd"},
        {"typed with a blank before", "http://h/c", "pw", "s", h, u"pw"_s, u"s"_s, u"\tpa ss"_s, "\"\tpa ss\""},
        {"typed with a blank after", "http://h/c", "pw", "s", h, u"pw"_s, u"s"_s, u"pa ss "_s, "\"pa ss \""},
        {"typed in quotes", "http://h/c", "pw", "s", h, u"pw"_s, u"s"_s, u"'x'"_s, "\"'x'\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = [&c](const QByteArray &passwd) { return completeFile(c.url, passwd, c.server); };
        m_settings.write(file(c.passwd));
        LoadSettings();
        EXPECT_EQ(gControlUrl, c.shownUrl);
        EXPECT_EQ(gHttpqPasswd, c.shownPasswd);
        EXPECT_EQ(gHttpqServer, c.shownServer);
        const bool typed = !c.stored.isNull();
        if (typed)
            gHttpqPasswd = c.typed;
        SaveSettings({QPoint(gWinampX, gWinampY), QPoint(gPlaylistX, gPlaylistY)});
        EXPECT_EQ(m_settings.read(), file(typed ? c.stored : c.passwd));
        resetSettingsRecord();
        LoadSettings();
        EXPECT_EQ(gHttpqPasswd, typed ? c.typed : c.shownPasswd);
    }
}

TEST(SettingsPlace, InstalledCopiesAreTheOnesUnderSystemFoldersOrInAnInstallTree)
{
    const std::tuple<QString, bool> folders[] = {
        {u"/usr/bin"_s, true},     {u"/usr/local/bin"_s, true},     {u"/usr/local/bin/"_s, true},
        {u"/opt/quendra"_s, true}, {u"/opt/quendra/bin"_s, true},   {u"/home/ann/quendra"_s, false},
        {u"/usr2/bin"_s, false},   {u"/optional/quendra"_s, false}, {u"/usr/bin/../../home/ann/quendra"_s, false},
    };
    for (const auto &[folder, installed] : folders)
        EXPECT_EQ(isInstalledProgramFolder(folder), installed) << folder.toStdString();

    // A private prefix (--prefix ~/.local): known by the module beside the
    // program's bin folder, or where the build had no browser, by the desktop entry.
    for (const bool withModule : {true, false}) {
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QString bin = prefix.filePath(u"bin"_s);
        ASSERT_TRUE(QDir().mkpath(bin));
        EXPECT_FALSE(isInstalledProgramFolder(bin));
        const QString entry = QDir::cleanPath(bin + QStringLiteral("/" QUENDRA_ENTRY_RELATIVE_PATH));
        if (withModule) {
            ASSERT_TRUE(QDir(bin).mkpath(QStringLiteral(QUENDRA_MODULE_RELATIVE_DIR)));
        } else {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(entry).path()));
            // A folder of that name is no entry.
            ASSERT_TRUE(QDir().mkpath(entry));
            EXPECT_FALSE(isInstalledProgramFolder(bin));
            ASSERT_TRUE(QDir().rmdir(entry));
            QFile file(entry);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        EXPECT_TRUE(isInstalledProgramFolder(bin)) << withModule;
    }
}

TEST(SettingsPlace, AnInstalledCopyKeepsItsSettingsInTheUsersFolderUnlessOneIsBesideIt)
{
    QTemporaryDir program;
    ASSERT_TRUE(program.isValid());
    const QString beside = program.filePath(u"Quendra.ini"_s);
    const QString config = u"/home/ann/.config/quendra/Quendra.ini"_s;

    enum Beside { NoFile, WritableFile, ReadOnlyFile };
    // installed, the folder writable, a file beside it: where the settings go.
    const std::tuple<bool, bool, Beside, QString> cases[] = {
        {false, true, NoFile, beside},       {false, false, NoFile, config},       {false, false, WritableFile, beside},
        {false, true, ReadOnlyFile, beside}, {false, false, ReadOnlyFile, config}, {true, true, NoFile, config},
        {true, false, NoFile, config},       {true, true, WritableFile, beside},   {true, false, WritableFile, beside},
        {true, true, ReadOnlyFile, config},
    };
    for (const auto &[installed, folderWritable, file, expected] : cases) {
        QFile::remove(beside);
        if (file != NoFile) {
            QFile ini(beside);
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        }
        const auto writable = [&, folderWritable = folderWritable, file = file](const QString &path) {
            return path == beside ? file == WritableFile : folderWritable;
        };
        EXPECT_EQ(chooseSettingsFile(program.path(), installed, u"/home/ann/.config/quendra"_s, writable), expected)
            << "installed " << installed << ", folder writable " << folderWritable << ", file " << file;
    }
}

} // namespace
