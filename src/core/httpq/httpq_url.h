#pragma once

// httpQ request URLs: "http://" server ":" port command password [argument],
// the settings inserted exactly as stored.

#include <QByteArray>
#include <QString>
#include <QStringView>

// Where the player listens and the password its commands carry.
struct HttpqServer
{
    QStringView host;
    QStringView port;
    QStringView password;
};

QString formHttpqUrl(const HttpqServer &server, QStringView command, QStringView argument = {});

// "&a=" and the position in decimal, as the playlist commands take it.
QString positionArgument(int position);

// The URL as it goes on the wire: what cannot stand in a request line
// (controls, blanks, '#', non-ASCII) percent-encoded, so that no setting can
// add a header or cut the request; '&', '=' and '%' stay as they are, like
// every other printable character. Non-ASCII goes in the server's code page,
// Windows-1252, where it has the character (the server compares a password's
// bytes), and as UTF-8 otherwise.
QByteArray wireUrl(QStringView url);
