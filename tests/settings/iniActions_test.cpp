#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>

using namespace Qt::StringLiterals;
using namespace std::string_literals;

namespace {

class SettingsStore : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.isValid()); }
    QString iniPath() const { return m_settings.iniPath(); }
    void writeFile(const QByteArray &bytes) { m_settings.write(bytes); }
    QByteArray readFile() const { return m_settings.read(); }

    SettingsSandbox m_settings;
};

TEST_F(SettingsStore, WithoutAFileEveryFieldHoldsItsDefaultAndNothingIsWritten)
{
    LoadSettings();
    EXPECT_EQ(gIniPath, m_settings.iniPath());
    EXPECT_EQ(gControlUrl, QString::fromUtf16(kDefaultControlUrl));
    EXPECT_TRUE(gControlUrl.startsWith(u"http://") && gControlUrl.endsWith(u"/live/logo.vesk"));
    EXPECT_TRUE(gPlaylistUrl.startsWith(u"http://") && gPlaylistUrl.endsWith(u"/live/install.vesk"));
    EXPECT_EQ(gWinampHeight, 1995);
    EXPECT_EQ(gWinampBarHeight, 225);
    EXPECT_EQ(gWinampX, 0);
    EXPECT_EQ(gWinampY, 0);
    EXPECT_EQ(gPlaylistHeight, 1995);
    EXPECT_EQ(gPlaylistBarHeight, 500);
    EXPECT_EQ(gPlaylistVisible, 1);
    EXPECT_EQ(gAttachArea, 750);
    EXPECT_EQ(gPlaylistX, 0);
    EXPECT_EQ(gPlaylistY, 1995);
    EXPECT_EQ(gQuendraType, u"HTTPQ");
    EXPECT_FALSE(IsDirectMode());
    EXPECT_EQ(gProxy, u"DEFAULT");
    EXPECT_EQ(gRefresh, 1000);
    EXPECT_EQ(gHttpqPasswd, QString());
    EXPECT_EQ(gHttpqPort, u"4800");
    EXPECT_EQ(gHttpqServer, QString());
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(SettingsStore, SaveWritesEveryKeyInOrderAndLoadReadsItBack)
{
    LoadSettings();
    gControlUrl = QStringLiteral("http://h/c");
    gPlaylistUrl = QStringLiteral("http://h/p");
    gPlaylistHeight = 3000;
    gPlaylistVisible = 0;
    gQuendraType = QStringLiteral("DIRECT");
    gRefresh = 500;
    gHttpqPasswd = QStringLiteral("pa ss");
    gHttpqPort = QStringLiteral("4801");
    gHttpqServer = QStringLiteral("127.0.0.1");
    SaveSettings({QPoint(1500, -15), QPoint(1500, 1980)});

    EXPECT_EQ(readFile(),
              "[WINAMP]\r\nURL=http://h/c\r\nHEIGHT=1995\r\nBAR_HEIGHT=225\r\n"
              "X_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=-15\r\n"
              "[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=3000\r\nBAR_HEIGHT=500\r\nVISIBLE=0\r\n"
              "X_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=1980\r\n"
              "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=500\r\n"
              "HTTPQ_PASSWD=pa ss\r\nHTTPQ_PORT=4801\r\nHTTPQ_SERVER=127.0.0.1\r\n");

    // The start-up positions change only at the next load.
    EXPECT_EQ(gWinampX, 0);
    ResetSettingsRecord();
    LoadSettings();
    EXPECT_EQ(gWinampX, 1500);
    EXPECT_EQ(gWinampY, -15);
    EXPECT_EQ(gPlaylistY, 1980);
    EXPECT_EQ(gPlaylistHeight, 3000);
    EXPECT_EQ(gPlaylistVisible, 0);
    EXPECT_TRUE(IsDirectMode());
    EXPECT_EQ(gHttpqPasswd, u"pa ss");
    EXPECT_EQ(gHttpqServer, u"127.0.0.1");
}

TEST_F(SettingsStore, PlaylistStateFirstPutsPlaylistFirst)
{
    LoadSettings();
    SavePlaylistState();
    EXPECT_EQ(readFile(), "[PLAYLIST]\r\nVISIBLE=1\r\nHEIGHT=1995\r\n");
}

TEST_F(SettingsStore, WritesChangeTheirLinesInPlaceAndKeepEveryOtherByte)
{
    const QByteArray before = "; my remote\n"
                              "[HTTPQ]\n"
                              "  HTTPQ_SERVER = 192.168.1.20   ; the den\n"
                              "QUENDRA_TYPE=DIRECT\n"
                              "\n"
                              "[PLAYLIST]\n"
                              "HEIGHT=2400\n"
                              "COLOUR=blue\n"
                              "\n"
                              "[OTHER]\n"
                              "x=1";
    writeFile(before);
    LoadSettings();
    EXPECT_EQ(gHttpqServer, u"192.168.1.20   ; the den");
    EXPECT_EQ(gPlaylistHeight, 2400);
    gPlaylistVisible = 0;
    gPlaylistHeight = 2600;
    SavePlaylistState();
    EXPECT_EQ(readFile(), "; my remote\n"
                          "[HTTPQ]\n"
                          "  HTTPQ_SERVER = 192.168.1.20   ; the den\n"
                          "QUENDRA_TYPE=DIRECT\n"
                          "\n"
                          "[PLAYLIST]\n"
                          "HEIGHT=2600\n"
                          "COLOUR=blue\n"
                          "VISIBLE=0\n"
                          "\n"
                          "[OTHER]\n"
                          "x=1");
}

TEST_F(SettingsStore, TypeKeepsSixCharactersAndOnlyExactDirectSelectsDirectMode)
{
    const struct
    {
        const char *stored;
        const char16_t *held;
        bool direct;
    } cases[] = {
        {"WEBCONTROL", u"WEBCON", false},
        {"DIRECTLY", u"DIRECT", true},
        {"DIRECT", u"DIRECT", true},
        {"direct", u"direct", false},
        {"DIR", u"DIR", false},
        {"", u"", false},
    };
    for (const auto &c : cases) {
        writeFile(QByteArray("[HTTPQ]\r\nQUENDRA_TYPE=") + c.stored + "\r\n");
        LoadSettings();
        EXPECT_EQ(gQuendraType, QString::fromUtf16(c.held)) << c.stored;
        EXPECT_EQ(IsDirectMode(), c.direct) << c.stored;
    }
    writeFile("[HTTPQ]\r\nQUENDRA_TYPE=WEBCONTROL\r\n");
    LoadSettings();
    SaveSettings({});
    EXPECT_TRUE(readFile().contains("QUENDRA_TYPE=WEBCON\r\n"));
}

TEST_F(SettingsStore, NumbersFollowTheRuleAndAreClampedIntoSixteenBits)
{
    writeFile("[HTTPQ]\nREFRESH=2.5\n[WINAMP]\nHEIGHT=abc\nBAR_HEIGHT=\n"
              "X_STARTUP_POSITION=48000\nY_STARTUP_POSITION=-99999999999\n"
              "[PLAYLIST]\nHEIGHT=12px\nVISIBLE=3.5\nATTACH_AREA=-7\n");
    LoadSettings();
    EXPECT_EQ(gRefresh, 2);
    EXPECT_EQ(gWinampHeight, 0);
    EXPECT_EQ(gWinampBarHeight, 0);
    EXPECT_EQ(gWinampX, 32767);
    EXPECT_EQ(gWinampY, -32768);
    EXPECT_EQ(gPlaylistHeight, 12);
    EXPECT_EQ(gPlaylistVisible, 4);
    EXPECT_EQ(gAttachArea, -7);
}

// A whole settings file, so that a save with nothing changed adds no key.
QByteArray completeFile(const QByteArray &url, const QByteArray &passwd, const QByteArray &server)
{
    return "[WINAMP]\r\nURL=" + url + "\r\nHEIGHT=1995\r\nBAR_HEIGHT=225\r\n"
           "X_STARTUP_POSITION=15\r\nY_STARTUP_POSITION=30\r\n"
           "[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=1995\r\nBAR_HEIGHT=500\r\nVISIBLE=1\r\n"
           "X_STARTUP_POSITION=15\r\nY_STARTUP_POSITION=2025\r\n"
           "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=1000\r\nHTTPQ_PASSWD=" + passwd
        + "\r\nHTTPQ_PORT=4800\r\nHTTPQ_SERVER=" + server + "\r\n";
}

QByteArray asUtf16(const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

TEST_F(SettingsStore, FilesInAnyCodePageKeepEveryByteThroughLoadAndSave)
{
    const QByteArray cut = QByteArray(148, 'b') + "\xC3\xA9tail"; // the cut would split the é
    const struct
    {
        const char *name;
        QByteArray url, passwd, server;
        QString shownUrl, shownPasswd, shownServer;
        bool utf16 = false;
    } cases[] = {
        {"Windows-1252", "http://h/c", "p\xE4ssw\xF6rd", "caf\xE9.lan",
         u"http://h/c"_s, u"pässwörd"_s, u"café.lan"_s},
        {"UTF-8", "http://h/c", "p\xC3\xA4ssw\xC3\xB6rd", "caf\xC3\xA9.lan",
         u"http://h/c"_s, u"pässwörd"_s, u"café.lan"_s},
        {"mixed", "http://h/\x80", "p\xE4ssw\xF6rd", "caf\xC3\xA9.lan",
         u"http://h/€"_s, u"pässwörd"_s, u"café.lan"_s},
        {"quoted and padded", "'http://h/c'", "\"  pa ss  \"", "\"\"x\"\"",
         u"http://h/c"_s, u"  pa ss  "_s, u"\"x\""_s},
        {"longer than 149 bytes", QByteArray(200, 'a'), cut, QByteArray(147, 'c') + "\xE2\x82\xAC",
         QString(149, u'a'), QString(148, u'b'), QString(147, u'c')},
        {"UTF-16", "http://h/c", "p\xC3\xA4ssw\xC3\xB6rd", "\xE6\x97\xA5\xE6\x9C\xAC",
         u"http://h/c"_s, u"pässwörd"_s, u"日本"_s, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray file = completeFile(c.url, c.passwd, c.server);
        writeFile(c.utf16 ? asUtf16(file) : file);
        LoadSettings();
        EXPECT_EQ(gControlUrl, c.shownUrl);
        EXPECT_EQ(gHttpqPasswd, c.shownPasswd);
        EXPECT_EQ(gHttpqServer, c.shownServer);
        SaveSettings({QPoint(gWinampX, gWinampY), QPoint(gPlaylistX, gPlaylistY)});
        EXPECT_EQ(readFile(), c.utf16 ? asUtf16(file) : file);
    }
}

TEST_F(SettingsStore, ChangedValuesComeBackTheSame)
{
    // A file from Windows keeps its code page for what fits in it and reads back
    // the same; anything else, and a new file, gets UTF-8.
    const QByteArray windows = "[HTTPQ]\r\nHTTPQ_SERVER=caf\xE9.lan\r\n";
    const struct
    {
        const char *name;
        QByteArray file;
        QString typed;
        QByteArray stored;
    } cases[] = {
        {"new file", "", u"pässwörd"_s, "p\xC3\xA4ssw\xC3\xB6rd"},
        {"Windows file", windows, u"pässwörd €"_s, "p\xE4ssw\xF6rd \x80"},
        {"Windows bytes that read as UTF-8", windows, u"Ã©"_s, "\xC3\x83\xC2\xA9"},
        {"beyond Windows-1252", windows, u"日本"_s, "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"blanks around", "", u" \tpa ss "_s, "\" \tpa ss \""},
        {"quoted", "", u"'x'"_s, "\"'x'\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.file);
        LoadSettings();
        gHttpqPasswd = c.typed;
        SaveSettings({});
        EXPECT_TRUE(readFile().contains("HTTPQ_PASSWD=" + c.stored + "\r\n")) << readFile().toStdString();
        ResetSettingsRecord();
        LoadSettings();
        EXPECT_EQ(gHttpqPasswd, c.typed);
    }
}

TEST_F(SettingsStore, APresentEmptyKeyIsEmptyNotTheDefault)
{
    writeFile("[HTTPQ]\nHTTPQ_PORT=\nPROXY=   \n");
    LoadSettings();
    EXPECT_EQ(gHttpqPort, QString());
    EXPECT_EQ(gProxy, QString());
}

TEST_F(SettingsStore, BrokenFilesLoadAsWindowsReadsThem)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) & 0xFF);
    const QString url = QString::fromUtf16(kDefaultControlUrl);
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString url;
        qint16 height;
        const char16_t *type;
        qint16 refresh;
    } cases[] = {
        {"binary garbage before a good section", garbage + "\n[WINAMP]\nHEIGHT=1500\n", url, 1500, u"HTTPQ", 1000},
        {"a megabyte on one line", "[WINAMP]\nURL=" + QByteArray(1 << 20, 'x') + "\nHEIGHT=1500\n",
         QString(149, u'x'), 1500, u"HTTPQ", 1000},
        {"no usable line", "=\n[\n]\n[]\n[[WINAMP]]\nHEIGHT\n==\n;[HTTPQ]\nREFRESH=5\n", url, 1995, u"HTTPQ", 1000},
        {"NUL inside a header line", QByteArray::fromStdString("[HTTPQ]\0QUENDRA_TYPE=DIRECT\nREFRESH=5\n"s), url, 1995,
         u"HTTPQ", 5},
        {"byte-order mark, no final line break", "\xEF\xBB\xBF[HTTPQ]\r\nREFRESH=250\r\nQUENDRA_TYPE=DIRECT",
         url, 1995, u"DIRECT", 250},
        {"Unicode file cut mid-character", QByteArray::fromStdString("\xFF\xFE[\0H\0T\0T\0P\0Q\0]\0\n\0R\0E\0F\0R\0E\0S\0H\0=\0" "7\0" "7"s),
         url, 1995, u"HTTPQ", 7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.bytes);
        LoadSettings();
        EXPECT_EQ(gControlUrl, c.url);
        EXPECT_EQ(gWinampHeight, c.height);
        EXPECT_EQ(gQuendraType, QString::fromUtf16(c.type));
        EXPECT_EQ(gRefresh, c.refresh);
    }
}

} // namespace

namespace {

TEST(SettingsFile, BesideTheProgramUnlessNeitherItsFolderNorItsFileCanBeWritten)
{
    QTemporaryDir program;
    const QString config = QStringLiteral("/home/user/.config/quendra");
    const QString beside = program.filePath(QStringLiteral("Quendra.ini"));
    auto writableOnly = [](QStringList paths) {
        return [paths](const QString &path) { return paths.contains(path); };
    };

    // A writable folder: beside the program, file or no file.
    EXPECT_EQ(ChooseSettingsFile(program.path(), config, writableOnly({program.path()})), beside);
    // A read-only folder without a file: the user's configuration folder.
    EXPECT_EQ(ChooseSettingsFile(program.path(), config, writableOnly({})), config + QStringLiteral("/Quendra.ini"));

    QFile file(beside);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // A read-only folder with a writable file: that file stays in use.
    EXPECT_EQ(ChooseSettingsFile(program.path(), config, writableOnly({beside})), beside);
    // A read-only folder with a read-only file: the configuration folder.
    EXPECT_EQ(ChooseSettingsFile(program.path(), config, writableOnly({})), config + QStringLiteral("/Quendra.ini"));
}

} // namespace
