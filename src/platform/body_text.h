#pragma once

#include <QByteArray>
#include <QString>

// An HTTP body as text: UTF-8 when its bytes are valid UTF-8, else
// Windows-1252, the code page the player's machine commonly sends titles in.
QString DecodeBody(const QByteArray &body);
