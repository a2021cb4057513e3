#include "platform/private_profile.h"

#include "platform/profile_text.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

enum class ReadResult { Read, Missing, Failed };

ReadResult readFile(const char *path, std::string &text)
{
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? ReadResult::Failed : ReadResult::Missing;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadResult::Failed;
    text.assign(bytes.constData(), std::size_t(bytes.size()));
    return ReadResult::Read;
}

DWORD copyString(std::string_view text, char *buffer, DWORD size)
{
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return DWORD(length);
}

// names holds each name followed by '\0'. Windows reports a cut list (size - 2)
// unless one byte beyond the list's final '\0' is left free, even when it fits exactly.
DWORD copyList(std::string_view names, char *buffer, DWORD size)
{
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    if (names.size() + 2 <= size) {
        std::memcpy(buffer, names.data(), names.size());
        buffer[names.size()] = '\0';
        return DWORD(names.size());
    }
    std::memcpy(buffer, names.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

} // namespace

DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *def,
                               char *buffer, DWORD size, const char *path)
{
    if (!buffer || size == 0)
        return 0;

    // Windows drops the default's trailing spaces (spaces only, not other blanks).
    std::string_view fallback = def ? def : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);

    std::string text;
    const bool haveFile = path && *path && readFile(path, text) == ReadResult::Read;

    if (!section)
        return copyList(haveFile ? profile::sectionNames(text) : std::string(), buffer, size);
    if (!key) {
        const std::string names = haveFile ? profile::keyNames(text, section) : std::string();
        return names.empty() ? copyString(fallback, buffer, size)
                             : copyList(names, buffer, size);
    }
    const std::optional<std::string> value =
        haveFile ? profile::findValue(text, section, key) : std::nullopt;
    return copyString(value ? std::string_view(*value) : fallback, buffer, size);
}

BOOL WritePrivateProfileStringA(const char *section, const char *key, const char *value,
                                const char *path)
{
    // Nothing is cached between calls, so the documented flush has nothing to do.
    if (!section)
        return !key && !value;
    if (!path || !*path)
        return false;

    // A file that exists but cannot be read must not be replaced by a new one.
    std::string text;
    if (readFile(path, text) == ReadResult::Failed)
        return false;

    std::string edited = text;
    const auto maybe = [](const char *s) {
        return s ? std::optional<std::string_view>(s) : std::nullopt;
    };
    if (!profile::setValue(edited, section, maybe(key), maybe(value)))
        return false;
    if (edited == text)
        return true;

    // QSaveFile follows a symlink to its target and gives the new file the old one's permissions.
    QSaveFile file(QString::fromUtf8(path));
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(edited.data(), qint64(edited.size())) != qint64(edited.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
