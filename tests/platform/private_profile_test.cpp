#include "platform/private_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

// Root passes every permission check; without these two capabilities the
// calling thread meets file permissions as any user does (CI runs as root).
class WithoutPermissionOverride
{
public:
    WithoutPermissionOverride()
    {
        syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutPermissionOverride() { syscall(SYS_capset, &m_header, m_saved); }
    Q_DISABLE_COPY_MOVE(WithoutPermissionOverride)

private:
    __user_cap_header_struct m_header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
};

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
}

TEST_F(PrivateProfile, NewFilesAreOwnerOnlyAndOldFilesKeepModeAndOwner)
{
    // The file holds the password: a new one is the user's alone, whatever the umask.
    const mode_t umask = ::umask(0);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "1", path("new.ini").c_str()));
    ::umask(umask);
    struct stat info = {};
    ASSERT_EQ(::stat(path("new.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    writeFile("test.ini", "[s]\nk=1\n");
    const string ini = path("test.ini");
    ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(ini.c_str(), 4321, 4322), 0);
    }
    ASSERT_EQ(::stat(ini.c_str(), &info), 0);
    const struct stat before = info;
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "2", ini.c_str()));
    ASSERT_EQ(::stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, before.st_uid);
    EXPECT_EQ(info.st_gid, before.st_gid);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=2\n");
    EXPECT_EQ(entries(m_dir.path()), QStringList({QStringLiteral("new.ini"), QStringLiteral("test.ini")}));
}

TEST_F(PrivateProfile, WritesThroughSymlinks)
{
    // A link stays a link, relative or dangling: the write goes to its target.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("real")));
    writeFile("real/a.ini", "[s]\nk=1\n");
    ASSERT_EQ(::symlink("real/a.ini", path("a.ini").c_str()), 0);
    ASSERT_EQ(::symlink("real/b.ini", path("b.ini").c_str()), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "2", path("a.ini").c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "3", path("b.ini").c_str()));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path("a.ini"))).isSymLink());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(path("b.ini"))).isSymLink());
    EXPECT_EQ(readFile("real/a.ini"), "[s]\nk=2\n");
    EXPECT_EQ(readFile("real/b.ini"), "[s]\r\nk=3\r\n");
}

TEST_F(PrivateProfile, WritableFileInReadOnlyFolderIsUpdated)
{
    writeFile("test.ini", "[s]\nk=1\n");
    const QByteArray dir = QFile::encodeName(m_dir.path());
    ASSERT_EQ(::chmod(dir.constData(), 0555), 0);
    {
        const WithoutPermissionOverride asUser;
        EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "22", path("test.ini").c_str()));
        EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "3", path("test.ini").c_str()));
    }
    ::chmod(dir.constData(), 0755);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=3\n");
}

TEST_F(PrivateProfile, FailedWritesLeaveTheFileAsItWas)
{
    // Each step of the write failing as a full or broken disk makes it fail.
    using Step = ProfileWriteStep;
    const struct
    {
        const char *name;
        std::vector<std::pair<Step, int>> faults;
    } cases[] = {
        {"write, disk full", {{Step::Write, ENOSPC}}},
        {"sync", {{Step::Sync, EIO}}},
        {"close", {{Step::Close, EIO}}},
        {"rename", {{Step::Rename, EIO}}},
        {"no temporary file, no room", {{Step::CreateTemporary, EACCES}, {Step::Reserve, ENOSPC}}},
        {"no temporary file, write", {{Step::CreateTemporary, EACCES}, {Step::Write, EIO}}},
        {"no temporary file, sync", {{Step::CreateTemporary, EACCES}, {Step::Sync, EIO}}},
        {"no temporary file, disk full", {{Step::CreateTemporary, ENOSPC}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("test.ini", "[s]\nk=1\n");
        FailProfileWriteSteps(c.faults);
        EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "a longer value", path("test.ini").c_str()));
        FailProfileWriteSteps({});
        EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");
        EXPECT_EQ(entries(m_dir.path()), QStringList(QStringLiteral("test.ini")));
    }

    writeFile("test.ini", "[s]\nk=1\n");
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", path("test.ini/sub.ini").c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", path("no/such/dir.ini").c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", m_dir.path().toStdString().c_str()));

    const string ini = path("test.ini");
    const QByteArray dir = QFile::encodeName(m_dir.path());
    {
        const WithoutPermissionOverride asUser;
        ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
        ASSERT_EQ(::chmod(dir.constData(), 0555), 0);
        EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "2", ini.c_str()));
        ::chmod(dir.constData(), 0755);
        // Unreadable: read as absent, and never replaced by a file holding only the new key.
        ASSERT_EQ(::chmod(ini.c_str(), 0200), 0);
        EXPECT_EQ(get("s", "k", "default", 100), 7u);
        EXPECT_FALSE(WritePrivateProfileStringA("s", "other", "2", ini.c_str()));
        ::chmod(ini.c_str(), 0644);
    }
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");
    EXPECT_EQ(entries(m_dir.path()), QStringList(QStringLiteral("test.ini")));
}

// A small file system of the test's own, filled to the last byte. Mounting needs
// root (CI has it); elsewhere the injected failures above stand in.
class FullDisk : public PrivateProfile
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = QFile::encodeName(m_dir.path());
        // In a mount namespace of its own (possible while the process has one
        // thread) a test that is killed leaves no mount behind.
        if (::unshare(CLONE_NEWNS) == 0)
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        if (::mount("quendra-test", m_root.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            ::umount2(m_root.constData(), MNT_DETACH);
    }

    void fill() const
    {
        QFile filler(m_dir.filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
    }

    QByteArray m_root;
    bool m_mounted = false;
};

TEST_F(FullDisk, FailedWritesLeaveTheFileWhole)
{
    // The new value needs a page more than the file has: nothing fits.
    const string before = "[s]\r\nk=1\r\n" + string(3000, ';') + "\r\n";
    const string value(8000, 'v');
    for (const bool readOnlyFolder : {false, true}) {
        SCOPED_TRACE(readOnlyFolder ? "read-only folder" : "writable folder");
        const QString folder = readOnlyFolder ? QStringLiteral("locked") : QStringLiteral("open");
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(folder));
        const string name = folder.toStdString() + "/Quendra.ini";
        writeFile(name, before);
        fill();
        if (readOnlyFolder) {
            ASSERT_EQ(::chmod(QFile::encodeName(m_dir.filePath(folder)).constData(), 0555), 0);
        }
        {
            const WithoutPermissionOverride asUser;
            EXPECT_FALSE(WritePrivateProfileStringA("s", "k", value.c_str(), path(name).c_str()));
        }
        const string after = readFile(name);
        EXPECT_TRUE(after == before) << after.size() << " bytes, ending " << testing::PrintToString(after.substr(after.size() - std::min<std::size_t>(after.size(), 8)));
        EXPECT_EQ(entries(m_dir.filePath(folder)), QStringList(QStringLiteral("Quendra.ini")));

        // With room again the same write goes through.
        QFile::remove(m_dir.filePath(QStringLiteral("filler")));
        {
            const WithoutPermissionOverride asUser;
            EXPECT_TRUE(WritePrivateProfileStringA("s", "k", value.c_str(), path(name).c_str()));
        }
        EXPECT_TRUE(readFile(name) == "[s]\r\nk=" + value + "\r\n" + string(3000, ';') + "\r\n");
        QFile::remove(QString::fromStdString(path(name)));
    }
}

