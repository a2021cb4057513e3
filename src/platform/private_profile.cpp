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

} // namespace

DWORD GetPrivateProfileStringA(const char *section, const char *key, const char *def,
                               char *buffer, DWORD size, const char *path)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    if (!section || !key)
        return 0;

    // Windows drops the default's trailing spaces (spaces only, not other blanks).
    std::string_view fallback = def ? def : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);

    std::string text;
    const bool haveFile = path && *path && readFile(path, text) == ReadResult::Read;

    const std::optional<std::string> value =
        haveFile ? profile::findValue(text, section, key) : std::nullopt;
    return copyString(value ? std::string_view(*value) : fallback, buffer, size);
}

BOOL WritePrivateProfileStringA(const char *section, const char *key, const char *value,
                                const char *path)
{
    if (!section || !key || !value || !path || !*path)
        return false;

    // A file that exists but cannot be read must not be replaced by a new one.
    std::string text;
    if (readFile(path, text) == ReadResult::Failed)
        return false;

    std::string edited = text;
    if (!profile::setValue(edited, section, key, value))
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
