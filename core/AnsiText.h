#pragma once

#include <QByteArray>
#include <QString>

// Style names are stored in code page 936 (GBK) so that configuration files stay exchangeable with
// Chinese Windows systems. A character GBK lacks becomes '?'.
QByteArray toAnsi(const QString &text);
QString fromAnsi(const QByteArray &bytes);

// Cuts GBK text to at most maxBytes without splitting a two-byte character.
QByteArray truncateAnsi(const QByteArray &bytes, int maxBytes);
