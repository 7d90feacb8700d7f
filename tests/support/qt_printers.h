#pragma once

// Lets GoogleTest print Qt values readably in failure messages. Include it in tests that compare
// QString, QStringList or QByteArray.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(", ").toStdString() << ']';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << "bytes(" << b.size() << ") " << b.left(64).toHex(' ').toStdString();
}
