#include "platform/private_profile.h"

#include "platform/body_text.h"
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

// A string of the A calls as text of a Unicode file: UTF-8 stays, anything
// else is Windows-1252, the rule by which the settings store reads values.
std::string unicodeArgument(const profile::FileText &file, std::string_view bytes)
{
    if (file.encoding == profile::FileText::Encoding::Bytes || profile::isUnicodeText(bytes))
        return std::string(bytes);
    return DecodeBody(QByteArray(bytes.data(), qsizetype(bytes.size()))).toUtf8().toStdString();
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

    // Windows drops the default's trailing spaces (spaces only, not other
    // blanks), then its quotes as it does a value's.
    std::string_view fallback = def ? def : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.remove_suffix(1);
    fallback = profile::unquoted(fallback);

    std::string bytes;
    if (!path || !*path || readFile(path, bytes) != ReadResult::Read)
        return copyString(fallback, buffer, size);
    const profile::FileText file = profile::decodeFile(bytes);
    const std::optional<std::string> value = profile::findValue(
        file.text, unicodeArgument(file, section), unicodeArgument(file, key));
    return copyString(value ? std::string_view(*value) : fallback, buffer, size);
}

BOOL WritePrivateProfileStringA(const char *section, const char *key, const char *value,
                                const char *path)
{
    if (!section || !key || !value || !path || !*path)
        return false;

    // A file that exists but cannot be read must not be replaced by a new one.
    std::string bytes;
    if (readFile(path, bytes) == ReadResult::Failed)
        return false;

    profile::FileText file = profile::decodeFile(bytes);
    const std::string text = file.text;
    if (!profile::setValue(file.text, unicodeArgument(file, section), unicodeArgument(file, key),
                           unicodeArgument(file, value)))
        return false;
    if (file.text == text)
        return true;
    const std::string edited = profile::encodeFile(file);

    // QSaveFile follows a symlink to its target and gives the new file the old one's permissions.
    QSaveFile out(QString::fromUtf8(path));
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(edited.data(), qint64(edited.size())) != qint64(edited.size())) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}
