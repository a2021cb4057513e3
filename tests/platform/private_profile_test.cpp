#include "platform/private_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
using std::string;

namespace {

class PrivateProfile : public testing::Test
{
protected:
    string path(const string &name) const
    {
        return m_dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    void writeFile(const string &name, const string &bytes) const
    {
        QFile file(QString::fromStdString(path(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    }

    string readFile(const string &name) const
    {
        QFile file(QString::fromStdString(path(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
    }

    // Returns, and fills buffer with, what GetPrivateProfileStringA gives for this file.
    DWORD get(const char *section, const char *key, const char *def, DWORD size,
              const string &name = "test.ini")
    {
        std::memset(m_buffer, 'x', sizeof m_buffer);
        return GetPrivateProfileStringA(section, key, def, m_buffer, size, path(name).c_str());
    }

    string buffer(std::size_t length) const { return string(m_buffer, length); }

    QTemporaryDir m_dir;
    char m_buffer[100];
};

ino_t inode(const string &path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

TEST_F(PrivateProfile, ValueBufferSizes)
{
    writeFile("test.ini", "[s]\r\nk=value\r\n");
    const struct { DWORD size, returned; string contents; } cases[] = {
        {1, 0, "\0"s}, {2, 1, "v\0"s}, {5, 4, "valu\0"s}, {6, 5, "value\0"s}, {100, 5, "value\0x"s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(get("s", "k", "default", c.size), c.returned);
        EXPECT_EQ(buffer(c.contents.size()), c.contents);
    }
    EXPECT_EQ(get("s", "k", "default", 0), 0u);
    EXPECT_EQ(buffer(3), "xxx");
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", nullptr, 10, path("test.ini").c_str()), 0u);
    EXPECT_EQ(get("s", "missing", "default", 4), 3u);
    EXPECT_EQ(buffer(4), "def\0"s);
}

TEST_F(PrivateProfile, DefaultsAsWindowsGivesThem)
{
    writeFile("test.ini", "[full]\nk=v\n[empty]\n");
    const struct { const char *section, *key, *def, *file; string expected; } cases[] = {
        {"full", "missing", nullptr, "test.ini", ""},
        {"full", "missing", "default  ", "test.ini", "default"},
        {"full", "missing", "one two  ", "test.ini", "one two"},
        {"full", "missing", " x\t ", "test.ini", " x\t"}, // only spaces go
        {"full", "missing", "\"q\"  ", "test.ini", "q"}, // quotes go as for values
        {"full", "missing", "'q", "test.ini", "'q"},
        {"full", "k", "default", "absent.ini", "default"},
        {"full", "k", "default", "", "default"}, // a folder, not a file
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(string(c.section) + "/" + c.key);
        EXPECT_EQ(get(c.section, c.key, c.def, 100, c.file), c.expected.size());
        EXPECT_EQ(buffer(c.expected.size() + 1), c.expected + '\0');
    }
    // The listings Windows gives for a null section or key are not supported.
    EXPECT_EQ(get(nullptr, "k", "default", 100), 0u);
    EXPECT_EQ(get("full", nullptr, "default", 100), 0u);
    EXPECT_EQ(buffer(1), "\0"s);
    EXPECT_EQ(GetPrivateProfileStringA("full", "k", "d", m_buffer, 100, nullptr), 1u);
}

TEST_F(PrivateProfile, WritesBuildTheFileWindowsWrites)
{
    const string ini = path("test.ini");
    const auto write = [&](const char *section, const char *key, const char *value) {
        return WritePrivateProfileStringA(section, key, value, ini.c_str());
    };
    EXPECT_TRUE(write("App1", "key1", "string1"));
    EXPECT_EQ(readFile("test.ini"), "[App1]\r\nkey1=string1\r\n");
    write("App1", "key2", "string2");
    write("App2", "key3", "string3");
    EXPECT_TRUE(write("App1", "key2", "changed"));
    const string built = "[App1]\r\nkey1=string1\r\nkey2=changed\r\n[App2]\r\nkey3=string3\r\n";
    EXPECT_EQ(readFile("test.ini"), built);
    EXPECT_EQ(get("app1", "KEY2", "", 100), 7u);

    // Deletions and names that would not read back fail and leave the file alone.
    EXPECT_FALSE(write("App1", "key1", nullptr));
    EXPECT_FALSE(write("App2", nullptr, nullptr));
    EXPECT_FALSE(write(nullptr, nullptr, nullptr));
    EXPECT_FALSE(write("App1", "k=", "v"));
    EXPECT_EQ(readFile("test.ini"), built);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", nullptr));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", ""));
}

TEST_F(PrivateProfile, UnicodeFilesAreReadAndStayUnicode)
{
    // Notepad's "Unicode" (UTF-16 with a byte-order mark) in either byte order. Values
    // come and go as UTF-8, or Windows-1252 where not valid UTF-8; an unpaired
    // surrogate and an odd last byte on lines the write does not touch are kept.
    const auto utf16 = [](const QString &text, bool bigEndian, const string &tail) {
        string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const QChar c : text) {
            const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
            bytes += bigEndian ? string{high, low} : string{low, high};
        }
        return bytes + tail;
    };
    const QString before = QStringLiteral("[s]\r\nk = w\u00F6rt \r\nodd=") + QChar(0xD800)
        + QStringLiteral("\r\n[t]\r\n");
    const QString after = QStringLiteral("[s]\r\nk = w\u00F6rt \r\nodd=") + QChar(0xD800)
        + QStringLiteral("\r\nn=\u00E4\u20AC\r\n[t]\r\nu=\u00E9\r\n");
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        writeFile("test.ini", utf16(before, bigEndian, "\x01"));
        EXPECT_EQ(get("s", "k", "", 100), 5u);
        EXPECT_EQ(buffer(6), "w\xC3\xB6rt\0"s);
        EXPECT_TRUE(WritePrivateProfileStringA("s", "n", "\xE4\x80", path("test.ini").c_str()));
        EXPECT_TRUE(WritePrivateProfileStringA("t", "u", "\xC3\xA9", path("test.ini").c_str()));
        EXPECT_EQ(readFile("test.ini"), utf16(after, bigEndian, "\x01"));
    }
}

TEST_F(PrivateProfile, SameValueDoesNotRewrite)
{
    writeFile("test.ini", "[s]\n k = \"v\" \n");
    const string ini = path("test.ini");
    const ino_t before = inode(ini);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "K", "\"v\"", ini.c_str()));
    EXPECT_EQ(inode(ini), before);
    EXPECT_EQ(readFile("test.ini"), "[s]\n k = \"v\" \n");
    // A real change replaces the file with a new one rather than writing into it.
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "w", ini.c_str()));
    EXPECT_NE(inode(ini), before);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=w\n");
}

TEST_F(PrivateProfile, ReplacesKeepingPermissionsAndLeavingNoTempFile)
{
    writeFile("test.ini", "[s]\nk=1\n");
    const string ini = path("test.ini");
    ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "2", ini.c_str()));
    struct stat info = {};
    ASSERT_EQ(::stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("test.ini")});
}

TEST_F(PrivateProfile, WritesThroughSymlink)
{
    writeFile("real.ini", "[s]\nk=1\n");
    const string link = path("link.ini");
    ASSERT_EQ(::symlink(path("real.ini").c_str(), link.c_str()), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "2", link.c_str()));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
    EXPECT_EQ(readFile("real.ini"), "[s]\nk=2\n");
}

TEST_F(PrivateProfile, WritableFileInReadOnlyFolderIsUpdated)
{
    writeFile("test.ini", "[s]\nk=1\n");
    const QByteArray dir = QFile::encodeName(m_dir.path());
    ASSERT_EQ(::chmod(dir.constData(), 0555), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "2", path("test.ini").c_str()));
    ::chmod(dir.constData(), 0755);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=2\n");
}

TEST_F(PrivateProfile, FailedWritesLeaveTheFileAsItWas)
{
    writeFile("test.ini", "[s]\nk=1\n");
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", path("test.ini/sub.ini").c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", path("no/such/dir.ini").c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", m_dir.path().toStdString().c_str()));
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores file permissions";

    const string ini = path("test.ini");
    const QByteArray dir = QFile::encodeName(m_dir.path());
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.constData(), 0555), 0);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", ini.c_str()));
    ::chmod(dir.constData(), 0755);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");

    // Unreadable: read as absent, and never replaced by a file holding only the new key.
    ASSERT_EQ(::chmod(ini.c_str(), 0200), 0);
    EXPECT_EQ(get("s", "k", "default", 100), 7u);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "other", "2", ini.c_str()));
    ::chmod(ini.c_str(), 0644);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");
}

TEST_F(PrivateProfile, PathsAreUtf8)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("réglages ü")));
    const string ini = path("réglages ü/quendra.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v", ini.c_str()));
    EXPECT_EQ(readFile("réglages ü/quendra.ini"), "[s]\r\nk=v\r\n");
    EXPECT_EQ(get("s", "k", "", 100, "réglages ü/quendra.ini"), 1u);
}
