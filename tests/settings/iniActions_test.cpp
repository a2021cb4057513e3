#include "settings/Settings.h"
#include "settings/iniActions.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

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

TEST_F(SettingsStore, LongValuesAreCutTo149BytesWithoutBreakingACharacter)
{
    const QByteArray url = "http://example.org/" + QByteArray(181, 'a');
    // 148 ASCII bytes, then a two-byte character that the cut would split.
    const QByteArray split = QByteArray(148, 'b') + "\xc3\xa9" + "tail";
    writeFile("[WINAMP]\nURL=" + url + "\n[PLAYLIST]\nURL=" + split + "\n[HTTPQ]\nHTTPQ_PASSWD=" +
              QByteArray(147, 'c') + "\xe2\x82\xac" + "\n");
    LoadSettings();
    EXPECT_EQ(gControlUrl, QString::fromLatin1(url.left(149)));
    EXPECT_EQ(gPlaylistUrl, QString(148, u'b'));
    EXPECT_EQ(gHttpqPasswd, QString(147, u'c'));
}

TEST_F(SettingsStore, APresentEmptyKeyIsEmptyNotTheDefault)
{
    writeFile("[HTTPQ]\nHTTPQ_PORT=\nPROXY=   \n");
    LoadSettings();
    EXPECT_EQ(gHttpqPort, QString());
    EXPECT_EQ(gProxy, QString());
}

TEST_F(SettingsStore, BrokenFilesLoadWithoutCrashing)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) & 0xFF);
    const QByteArray hugeLine = "[WINAMP]\nURL=" + QByteArray(10 * 1024 * 1024, 'x') + "\nHEIGHT=1500\n";
    const QByteArray files[] = {
        garbage,
        hugeLine,
        "=\n[\n]\n[]\n[[WINAMP]]\nHEIGHT\n==\n;[HTTPQ]\n",
        QByteArray("[HTTPQ]\0QUENDRA_TYPE=DIRECT\n", 28),
        "\xef\xbb\xbf[HTTPQ]\r\nREFRESH=250\r\n",
    };
    for (const QByteArray &bytes : files) {
        writeFile(bytes);
        LoadSettings();
        EXPECT_LE(gControlUrl.toUtf8().size(), 149);
    }
    writeFile(hugeLine);
    LoadSettings();
    EXPECT_EQ(gControlUrl, QString(149, u'x'));
    EXPECT_EQ(gWinampHeight, 1500);
    writeFile("\xef\xbb\xbf[HTTPQ]\r\nREFRESH=250\r\n");
    LoadSettings();
    EXPECT_EQ(gRefresh, 250);
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
