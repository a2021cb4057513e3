#include "core/ini/private_profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
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

using namespace Qt::StringLiterals;
using std::string;

namespace {

class PrivateProfile : public testing::Test
{
protected:
    string path(const string &name) const { return m_dir.filePath(QString::fromStdString(name)).toStdString(); }
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
    bool write(const string &name, const char *section, const char *key, const char *value) const
    {
        return writeProfileString(section, key, value, QString::fromStdString(path(name)));
    }
    string read(const string &name, const char *section, const char *key) const
    {
        return readProfileString(section, key, "default", QString::fromStdString(path(name))).toStdString();
    }
    // The folder's names, temporary files included.
    string entries(const string &folder = ".") const
    {
        const QDir dir(QString::fromStdString(path(folder)));
        return dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .join(u' ')
            .toStdString();
    }
    void setMode(const string &name, mode_t mode) const { ASSERT_EQ(::chmod(path(name).c_str(), mode), 0); }
    struct stat info(const string &name) const
    {
        struct stat info = {};
        EXPECT_EQ(::stat(path(name).c_str(), &info), 0);
        return info;
    }

    QTemporaryDir m_dir;
};

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

TEST_F(PrivateProfile, UnicodeFilesAreReadAndStayUnicode)
{
    // Notepad's "Unicode" (UTF-16 with a byte-order mark) in either byte order. Values
    // come and go as UTF-8, or Windows-1252 where not valid UTF-8; an unpaired
    // surrogate and an odd last byte on lines the write does not touch are kept.
    const auto utf16 = [](const QString &text, bool bigEndian) {
        string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const QChar c : text)
            bytes += bigEndian ? string{char(c.unicode() >> 8), char(c.unicode())}
                               : string{char(c.unicode()), char(c.unicode() >> 8)};
        return bytes + "\x01";
    };
    const QString odd = QStringLiteral("\r\nodd=") + QChar(0xD800) + QStringLiteral("\r\n");
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        writeFile("test.ini", utf16(u"[s]\r\nk = w\u00F6rt "_s + odd + u"[t]\r\n"_s, bigEndian));
        EXPECT_EQ(read("test.ini", "s", "k"), "w\xC3\xB6rt");
        EXPECT_TRUE(write("test.ini", "s", "n", "\xE4\x80"));
        EXPECT_TRUE(write("test.ini", "t", "u", "\xC3\xA9"));
        EXPECT_EQ(readFile("test.ini"),
                  utf16(u"[s]\r\nk = w\u00F6rt "_s + odd + u"n=\u00E4\u20AC\r\n[t]\r\nu=\u00E9\r\n"_s, bigEndian));
    }
}

TEST_F(PrivateProfile, TheDefaultLosesTrailingSpacesAndQuotesAsAValueDoes)
{
    for (const char *def : {"\"quoted\"  ", "'quoted'"})
        EXPECT_EQ(readProfileString("s", "k", def, QString::fromStdString(path("none.ini"))), "quoted");
}

TEST_F(PrivateProfile, NewFilesAreOwnerOnlyAndOldFilesKeepModeOwnerAndLinks)
{
    // The file holds the password: a new one is the user's alone, whatever the umask.
    const mode_t umask = ::umask(0);
    EXPECT_TRUE(write("new.ini", "s", "k", "1"));
    ::umask(umask);
    EXPECT_EQ(info("new.ini").st_mode & 07777, 0600u);

    writeFile("test.ini", "[s]\nk=1\n");
    setMode("test.ini", 0640);
    ASSERT_TRUE(::geteuid() != 0 || ::chown(path("test.ini").c_str(), 4321, 4322) == 0);
    const struct stat before = info("test.ini");
    EXPECT_TRUE(write("test.ini", "s", "k", "2"));
    const struct stat after = info("test.ini");
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(std::pair(after.st_uid, after.st_gid), std::pair(before.st_uid, before.st_gid));
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=2\n");
    // A value that reads the same leaves the file untouched.
    EXPECT_TRUE(write("test.ini", "S", "K", "\"2\""));
    EXPECT_EQ(info("test.ini").st_ino, after.st_ino);

    // A link stays a link, relative or dangling: the write goes to its target.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("real")));
    writeFile("real/a.ini", "[s]\nk=1\n");
    ASSERT_EQ(::symlink("real/a.ini", path("a.ini").c_str()), 0);
    ASSERT_EQ(::symlink("real/b.ini", path("b.ini").c_str()), 0);
    EXPECT_TRUE(write("a.ini", "s", "k", "2"));
    EXPECT_TRUE(write("b.ini", "s", "k", "3"));
    for (const char *link : {"a.ini", "b.ini"})
        EXPECT_TRUE(QFileInfo(QString::fromStdString(path(link))).isSymLink()) << link;
    EXPECT_EQ(readFile("real/a.ini"), "[s]\nk=2\n");
    EXPECT_EQ(readFile("real/b.ini"), "[s]\r\nk=3\r\n");
    EXPECT_EQ(entries(), "a.ini b.ini new.ini real test.ini");
}

TEST_F(PrivateProfile, FailedWritesLeaveTheFileAsItWas)
{
    // Each step of the write failing as a full or broken disk makes it fail.
    using Step = ProfileWriteStep;
    const std::tuple<const char *, std::vector<std::pair<Step, int>>> cases[] = {
        {"write, disk full", {{Step::Write, ENOSPC}}},
        {"sync", {{Step::Sync, EIO}}},
        {"close", {{Step::Close, EIO}}},
        {"rename", {{Step::Rename, EIO}}},
        {"no temporary file, no room", {{Step::CreateTemporary, EACCES}, {Step::Reserve, ENOSPC}}},
        {"no temporary file, write", {{Step::CreateTemporary, EACCES}, {Step::Write, EIO}}},
        {"no temporary file, sync", {{Step::CreateTemporary, EACCES}, {Step::Sync, EIO}}},
        {"no temporary file, disk full", {{Step::CreateTemporary, ENOSPC}}},
    };
    for (const auto &[name, faults] : cases) {
        SCOPED_TRACE(name);
        writeFile("test.ini", "[s]\nk=1\n");
        failProfileWriteSteps(faults);
        EXPECT_FALSE(write("test.ini", "s", "k", "a longer value"));
        failProfileWriteSteps({});
        EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");
        EXPECT_EQ(entries(), "test.ini");
    }

    // Unreadable: read as absent, and never replaced by a file holding only the new key.
    setMode("test.ini", 0200);
    {
        const WithoutPermissionOverride asUser;
        EXPECT_EQ(read("test.ini", "s", "k"), "default");
        EXPECT_FALSE(write("test.ini", "s", "other", "2"));
    }
    setMode("test.ini", 0644);
    EXPECT_EQ(readFile("test.ini"), "[s]\nk=1\n");
    EXPECT_EQ(entries(), "test.ini");
}

TEST_F(PrivateProfile, AFullDiskLeavesTheFileWhole)
{
    // A small file system of the test's own, filled to the last byte. Mounting needs
    // root (CI has it); elsewhere the injected failures above stand in. In a mount
    // namespace of its own (possible while the process has one thread) a test that
    // is killed leaves no mount behind.
    if (::unshare(CLONE_NEWNS) == 0)
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    if (::mount("quendra-test", path(".").c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([this] { ::umount2(path(".").c_str(), MNT_DETACH); });
    const auto fill = [this] {
        QFile filler(m_dir.filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) == 4096) { }
    };

    // The new value needs a page more than the file has: nothing fits.
    const string before = "[s]\r\nk=1\r\n" + string(3000, ';') + "\r\n";
    const string value(8000, 'v');
    for (const string folder : {"open", "locked"}) {
        SCOPED_TRACE(folder);
        const WithoutPermissionOverride asUser;
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QString::fromStdString(folder)));
        const string name = folder + "/Quendra.ini";
        writeFile(name, before);
        fill();
        if (folder == "locked")
            setMode(folder, 0555);
        EXPECT_FALSE(write(name, "s", "k", value.c_str()));
        EXPECT_TRUE(readFile(name) == before) << readFile(name).size() << " bytes";
        EXPECT_EQ(entries(folder), "Quendra.ini");

        // With room again the same write goes through, and a shorter one leaves no trace of it.
        QFile::remove(m_dir.filePath(QStringLiteral("filler")));
        EXPECT_TRUE(write(name, "s", "k", value.c_str()));
        EXPECT_TRUE(readFile(name) == "[s]\r\nk=" + value + "\r\n" + string(3000, ';') + "\r\n");
        EXPECT_TRUE(write(name, "s", "k", "1"));
        EXPECT_TRUE(readFile(name) == before);
    }
}
