#pragma once

// How the simulator reads a request as the player's server does: the
// query's %XX escapes, its arguments and plain decimal numbers, and where
// the headers end.

#include <QByteArray>
#include <QList>

#include <optional>

namespace httpquery {

// Only %XX is decoded; '+' stays a plus and a stray '%' stays as it is.
QByteArray percentDecoded(const QByteArray &text);

// The value of the first "key=value" pair with that key, %-decoded.
std::optional<QByteArray> queryValue(const QByteArray &query, const QByteArray &key);

// Plain decimal only, so "1x" or " 1" count as wrong arguments.
std::optional<int> decimal(const std::optional<QByteArray> &text);

// Index just past the blank line ending the headers, or -1.
qsizetype headerEnd(const QByteArray &buffer);

} // namespace httpquery
