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

// Writes the embedded formatter, byte for byte and executable, as "indent" into a fresh directory below
// tempDirectory that only this user can enter and no other user can have made first (see
// PrivateDirectory: "zabo-indent-" and six random characters). The directory lasts as long as the
// process: it is removed at a normal exit, and one left by a process killed with kill -9 is removed by
// the next deployment. tempDirectory must be an absolute path to a directory (privateTemporaryRoot()
// gives one); an empty or relative one fails, so nothing is ever written at the file system root.
FormatterDeployment DeployFormatter(const QString &tempDirectory);
