#pragma once

#include <QIcon>
#include <QMap>
#include <QString>

// An icon drawn from one picture file per square size, each decoded the first time a size near it is
// asked for. QIcon::addFile decodes every file as it is added, which costs a start-up the sizes no window
// manager asks for. Null when no file is given.
QIcon iconDecodedOnDemand(const QMap<int, QString> &filesBySize);
