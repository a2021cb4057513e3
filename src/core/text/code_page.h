#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// An HTTP body as text: UTF-8 when its bytes are valid UTF-8, else
// Windows-1252, the code page the player's machine commonly sends titles in.
QString decodeBody(const QByteArray &body);

// The Windows-1252 byte of a character, or nothing when the code page lacks
// it; the five bytes the code page leaves unassigned stand for the C1
// controls of the same value, both ways, as on Windows.
std::optional<char> toCp1252(char32_t ucs);

// The text in Windows-1252, or nothing when it holds a character the code page lacks.
std::optional<QByteArray> encodeCp1252(QStringView text);
