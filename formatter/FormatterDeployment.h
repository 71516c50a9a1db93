#pragma once

#include <QByteArray>
#include <QString>

// The GNU indent executable embedded into the program at build time.
QByteArray FormatterImage();

struct FormatterDeployment
{
    bool ok = false;
    QString formatterPath; // set when ok
    QString error;         // for diagnostics; the user sees the start-up message
};

// The directory private to this user below tempDirectory that holds the deployed formatter.
QString formatterDirectory(const QString &tempDirectory);

// Writes the embedded formatter, byte for byte and executable, to "indent" in a directory private to
// this user below tempDirectory (mode 0700, owned by the user). Never follows or writes through a link
// planted at either path.
FormatterDeployment DeployFormatter(const QString &tempDirectory);
