#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <string>

using namespace Qt::StringLiterals;
using namespace std::string_literals;

namespace {

class SettingsStore : public testing::Test
{
protected:
    SettingsSandbox m_settings;
};

TEST_F(SettingsStore, WritesChangeTheirLinesInPlaceAndKeepEveryOtherByte)
{
    const QByteArray head = "; my remote\n[HTTPQ]\n  HTTPQ_SERVER = 192.168.1.20   ; the den\n"
                            "QUENDRA_TYPE=DIRECT\n\n[PLAYLIST]\n";
    const QByteArray tail = "COLOUR=blue\n\n[OTHER]\nx=1";
    m_settings.write(head + "HEIGHT=2400\n" + tail);
    LoadSettings();
    EXPECT_EQ(gHttpqServer, u"192.168.1.20   ; the den");
    EXPECT_EQ(gPlaylistHeight, 2400);
    gPlaylistVisible = 0;
    gPlaylistHeight = 2600;
    SavePlaylistState();
    EXPECT_EQ(m_settings.read(), head + "HEIGHT=2600\n" + "COLOUR=blue\nVISIBLE=0\n\n[OTHER]\nx=1");
}

TEST_F(SettingsStore, ReadsWhatWindowsReadsFromAnyFile)
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
        QString type;
        qint16 refresh;
    } cases[] = {
        {"numbers by the rule, held to 16 bits", "[HTTPQ]\nREFRESH=2.5\n[WINAMP]\nHEIGHT=-99999\n", url, -32768,
         u"HTTPQ"_s, 2},
        {"present but empty keys", "[HTTPQ]\nQUENDRA_TYPE=\nREFRESH=\n[WINAMP]\nURL=\nHEIGHT=\n", {}, 0, {}, 0},
        {"the type held to six characters", "[HTTPQ]\nQUENDRA_TYPE=DIRECTLY\n", url, 1995, u"DIRECT"_s, 1000},
        {"the type in its own case", "[HTTPQ]\nQUENDRA_TYPE=direct\n", url, 1995, u"direct"_s, 1000},
        {"binary garbage before a good section", garbage + "\n[WINAMP]\nHEIGHT=1500\n", url, 1500, u"HTTPQ"_s, 1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_settings.write(c.bytes);
        LoadSettings();
        EXPECT_EQ(gControlUrl, c.url);
        EXPECT_EQ(gWinampHeight, c.height);
        EXPECT_EQ(gQuendraType, c.type);
        EXPECT_EQ(gRefresh, c.refresh);
    }
}

// A bar closed on the second of two 1920-pixel monitors (x = 2900 px is
// 43500 twips) reopens there: the positions keep their whole value, the
// other numbers their 16-bit rule.
TEST_F(SettingsStore, PositionsKeepTheirWholeValueThroughASaveAndTheNextStart)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        int x, y, playlistX, playlistY;
        qint16 height;
    } cases[] = {
        {"beyond 16 bits",
         "[WINAMP]\nX_STARTUP_POSITION=43500\nY_STARTUP_POSITION=-40000\nHEIGHT=43500\n"
         "[PLAYLIST]\nX_STARTUP_POSITION=57600.5\nY_STARTUP_POSITION=  70000px\n",
         43500, -40000, 57600, 70000, 32767},
        {"by the same rule as the other numbers", "[WINAMP]\nX_STARTUP_POSITION=2.5\nY_STARTUP_POSITION=abc\n", 2, 0, 0,
         1995, 1995},
        {"held at a million twips", "[WINAMP]\nX_STARTUP_POSITION=99999999\nY_STARTUP_POSITION=-99999999\n", 1000000,
         -1000000, 0, 1995, 1995},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_settings.write(c.bytes);
        LoadSettings();
        EXPECT_EQ(gWinampX, c.x);
        EXPECT_EQ(gWinampY, c.y);
        EXPECT_EQ(gPlaylistX, c.playlistX);
        EXPECT_EQ(gPlaylistY, c.playlistY);
        EXPECT_EQ(gWinampHeight, c.height);
    }

    m_settings.write("[WINAMP]\nX_STARTUP_POSITION=15\n");
    LoadSettings();
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
          "[PLAYLIST]\r\nURL=http://h/p\r\nHEIGHT=1995\r\nBAR_HEIGHT=500\r\nVISIBLE=1\r\n"
          "X_STARTUP_POSITION=15\r\nY_STARTUP_POSITION=2025\r\n"
          "[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nPROXY=DEFAULT\r\nREFRESH=1000\r\nHTTPQ_PASSWD="
        + passwd + "\r\nHTTPQ_PORT=4800\r\nHTTPQ_SERVER=" + server + "\r\n";
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
        {"typed with blanks around", "http://h/c", "pw", "s", h, u"pw"_s, u"s"_s, u" \tpa ss "_s, "\" \tpa ss \""},
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

} // namespace
