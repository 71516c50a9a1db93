#pragma once

#include <QString>
#include <QtGlobal>

// The directory of the running executable, ending with '/'.
QString ProgramDirectory();
QString programDirectoryOf(const QString &executablePath);
QString configPathIn(const QString &programDirectory);

// (major << 16) | minor of the version compiled into the program; 0xFFFFFFFF when none was.
quint32 programVersionValue();
// " V<major>.<minor>", appended to the main window's caption.
QString versionSuffix(quint32 versionValue);

// The directory of an installed program's configuration file, made ready at start-up: the missing
// directories on the way are created (0700, as XDG asks), a link in the configuration directory's place
// is used only when it leads to a directory of the effective user (and then by its resolved path, so a
// later swap of the link changes nothing), and a directory without the file must take a new one.
struct ConfigDirectoryCheck
{
    bool ok = false;
    QString configPath; // where to load or create Zabocfg.dat; the link resolved
    QString failedPath; // what could not be used; empty when there is no configuration path at all
    QString reason;     // why, in the interface's words
};
ConfigDirectoryCheck prepareConfigDirectory(const QString &configPath);

namespace StartupMessages {
// A portable copy can only fail beside its executable, so the message points there.
inline QString configCreateFailed()
{
    return QString::fromUtf8("配置文件创建失败，请确认程序所在目录可写！");
}
// An installed program names what failed in the user's own directories.
inline QString configCreateFailedAt(const QString &path, const QString &reason)
{
    if (path.isEmpty())
        return QString::fromUtf8("配置文件创建失败：%1").arg(reason);
    return QString::fromUtf8("配置文件创建失败：%1\n%2").arg(path, reason);
}
inline QString outOfMemory()
{
    return QString::fromUtf8("你的电脑弱爆了！连块内存都不给我，哼~本宝宝不干了！");
}
inline QString tempNotWritable()
{
    return QString::fromUtf8("windows临时文件目录不可写！程序即将终止！");
}
// The formatter could not be put in place: where, and why (as configCreateFailedAt names them).
inline QString tempNotWritableAt(const QString &path, const QString &reason)
{
    const QString where = path.isEmpty() ? QString::fromUtf8("（没有可用的临时目录）") : path;
    return tempNotWritable() + QLatin1Char('\n') + where + QLatin1Char('\n') + reason;
}
} // namespace StartupMessages
