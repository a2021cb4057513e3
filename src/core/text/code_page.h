#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

// An HTTP body as text: UTF-8 when its bytes are valid UTF-8, else
// Windows-1252, the code page the player's machine commonly sends titles in.
QString decodeBody(const QByteArray &body);

// A long body read as decodeBody's text, a piece at a time: only the check
// for UTF-8 goes over the whole body at once, each piece is decoded when it
// is read.
class BodyText
{
public:
    explicit BodyText(QByteArray body = {});
    // The next at most maxChars characters; empty once the text is used up.
    QString read(qsizetype maxChars);

private:
    QByteArray m_body;
    qsizetype m_bodyPos = 0;
    bool m_utf8 = true;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_text;
    qsizetype m_textPos = 0;
};

// The Windows-1252 byte of a character, or nothing when the code page lacks
// it; the five bytes the code page leaves unassigned stand for the C1
// controls of the same value, both ways, as on Windows.
std::optional<char> toCp1252(char32_t ucs);

// The text in Windows-1252, or nothing when it holds a character the code page lacks.
std::optional<QByteArray> encodeCp1252(QStringView text);
