#include "core/ini/private_profile.h"

#include "core/ini/profile_text.h"
#include "core/text/code_page.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::pair<ProfileWriteStep, int>> g_faults;

// Whether a test made this step fail; errno is then set as the call would set it.
bool injected(ProfileWriteStep step)
{
    const auto fault = std::find_if(g_faults.begin(), g_faults.end(),
                                    [step](const auto &f) { return f.first == step; });
    if (fault == g_faults.end())
        return false;
    errno = fault->second;
    g_faults.erase(fault);
    return true;
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Some file systems (NFS) report a failed write only when the file is closed.
    bool close()
    {
        const bool failed = injected(ProfileWriteStep::Close);
        return ::close(std::exchange(m_fd, -1)) == 0 && !failed;
    }

private:
    int m_fd;
};

enum class ReadResult { Read, Missing, Failed };

ReadResult readFile(const char *path, std::string &bytes)
{
    const FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got == 0)
            return ReadResult::Read;
        if (got < 0 && errno != EINTR)
            return ReadResult::Failed;
        if (got > 0)
            bytes.append(chunk, std::size_t(got));
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    if (injected(ProfileWriteStep::Write))
        return false;
    for (off_t offset = 0; !bytes.empty();) {
        const ssize_t done = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes.remove_prefix(std::size_t(done));
        offset += done;
    }
    return true;
}

bool sync(int fd)
{
    return !injected(ProfileWriteStep::Sync) && ::fsync(fd) == 0;
}

bool truncateTo(int fd, std::size_t length)
{
    return ::ftruncate(fd, off_t(length)) == 0;
}

// The file a path names: a symbolic link stays a link and the write goes to
// its target, which need not exist yet.
std::string linkTarget(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || std::size_t(length) == sizeof target)
            return path;
        std::string next(target, std::size_t(length));
        const std::size_t slash = path.rfind('/');
        if (next.front() != '/' && slash != std::string::npos)
            next.insert(0, path, 0, slash + 1);
        path = std::move(next);
    }
    return path;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool syncFolder(const std::string &folder)
{
    const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a folder; the rename is then as lasting as they make it.
    return dir.valid() && (::fsync(dir.get()) == 0 || errno == EINVAL);
}

// Without a temporary file beside it (a read-only folder holding a writable
// file) the file is rewritten where it is. Room for the new content is taken
// before the old is touched, so a full disk leaves it whole, and a failed write
// puts the old content back. A kill, a crash or a power cut mid-write can still
// leave it torn, part new and part old.
bool rewriteInPlace(const std::string &target, std::string_view bytes, std::string_view old)
{
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!file.valid())
        return false;
    const int fd = file.get();
    if (bytes.size() > old.size()) {
        const int error = injected(ProfileWriteStep::Reserve) ? errno : ::posix_fallocate(fd, 0, off_t(bytes.size()));
        if (error != 0) {
            // A reservation that failed part way may have lengthened the file.
            truncateTo(fd, old.size());
            return false;
        }
    }
    if (writeAll(fd, bytes) && truncateTo(fd, bytes.size()) && sync(fd))
        return file.close();
    if (writeAll(fd, old) && truncateTo(fd, old.size()))
        sync(fd);
    return false;
}

// Writes bytes as the file at path: a new file beside it, synced, renamed over it.
// old holds the file's present content, or is null when there is no file.
bool replaceFile(const char *path, std::string_view bytes, const std::string *old)
{
    const std::string target = linkTarget(path);
    const std::string folder = folderOf(target);
    struct stat oldInfo = {};
    const bool existed = old && ::stat(target.c_str(), &oldInfo) == 0;

    std::string temporary = folder + "/." + target.substr(target.rfind('/') + 1) + ".XXXXXX";
    const int fd = injected(ProfileWriteStep::CreateTemporary) ? -1 : ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const bool folderReadOnly = errno == EACCES || errno == EPERM;
        return existed && folderReadOnly && rewriteInPlace(target, bytes, *old);
    }
    FileDescriptor file(fd);
    struct stat info = {};
    bool ok = ::fstat(fd, &info) == 0 && ::fchmod(fd, existed ? oldInfo.st_mode & 07777 : 0600) == 0;
    if (ok && existed && (info.st_uid != oldInfo.st_uid || info.st_gid != oldInfo.st_gid)
        && ::fchown(fd, oldInfo.st_uid, oldInfo.st_gid) != 0) {
        // Another user's file keeps its owner: it is written where it is.
        file.close();
        ::unlink(temporary.c_str());
        return rewriteInPlace(target, bytes, *old);
    }
    ok = ok && writeAll(fd, bytes) && sync(fd);
    ok = file.close() && ok;
    if (!ok || injected(ProfileWriteStep::Rename) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return syncFolder(folder);
}

// The text rules work on std::string_view; the callers hand over Qt byte views.
std::string_view view(QByteArrayView bytes)
{
    return {bytes.data(), std::size_t(bytes.size())};
}

// A name or value as text of a Unicode file: UTF-8 stays, anything else is
// Windows-1252, the rule by which the settings store reads values.
std::string unicodeArgument(const profile::FileText &file, QByteArrayView bytes)
{
    if (file.encoding == profile::FileText::Encoding::Bytes || profile::isUnicodeText(view(bytes)))
        return std::string(view(bytes));
    return decodeBody(bytes.toByteArray()).toUtf8().toStdString();
}

} // namespace

QByteArray readProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView def, const QString &path)
{
    // Windows drops the default's trailing spaces (spaces only, not other
    // blanks), then its quotes as it does a value's.
    while (def.endsWith(' '))
        def.chop(1);
    const std::string_view fallback = profile::unquoted(view(def));

    std::string bytes;
    if (path.isEmpty() || readFile(QFile::encodeName(path).constData(), bytes) != ReadResult::Read)
        return QByteArrayView(fallback).toByteArray();
    const profile::FileText file = profile::decodeFile(bytes);
    const std::optional<std::string> value = profile::findValue(file.text, unicodeArgument(file, section),
                                                                unicodeArgument(file, key));
    return QByteArrayView(value ? std::string_view(*value) : fallback).toByteArray();
}

bool writeProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path)
{
    return writeProfileStrings({{section.toByteArray(), key.toByteArray(), value.toByteArray()}}, path);
}

bool writeProfileStrings(const std::vector<ProfileValue> &values, const QString &path)
{
    if (path.isEmpty())
        return false;

    // A file that exists but cannot be read must not be replaced by a new one.
    const QByteArray fileName = QFile::encodeName(path);
    std::string bytes;
    const ReadResult read = readFile(fileName.constData(), bytes);
    if (read == ReadResult::Failed)
        return false;

    profile::FileText file = profile::decodeFile(bytes);
    const std::string text = file.text;
    bool allSet = true;
    for (const ProfileValue &entry : values) {
        allSet = profile::setValue(file.text, unicodeArgument(file, entry.section), unicodeArgument(file, entry.key),
                                   unicodeArgument(file, entry.value))
            && allSet;
    }
    if (file.text == text)
        return allSet;
    return replaceFile(fileName.constData(), profile::encodeFile(file), read == ReadResult::Read ? &bytes : nullptr)
        && allSet;
}

void failProfileWriteSteps(std::vector<std::pair<ProfileWriteStep, int>> faults)
{
    g_faults = std::move(faults);
}
