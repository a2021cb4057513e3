#pragma once

// httpQ request URLs: "http://" server ":" port command password [argument],
// the settings inserted exactly as stored.

#include <QByteArray>
#include <QString>
#include <QStringView>

QString FormHttpqUrl(QStringView command, QStringView argument = {});

// "&a=" and the position in decimal, as the playlist commands take it.
QString PositionArgument(int position);

// The URL as it goes on the wire: bytes that cannot stand in a request line
// (controls, blanks, '#', non-ASCII) percent-encoded as UTF-8, so that no
// setting can add a header or cut the request; '&', '=' and '%' stay as they
// are, like every other printable character.
QByteArray WireUrl(QStringView url);
