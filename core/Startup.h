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

namespace StartupMessages {
inline QString configCreateFailed()
{
    return QString::fromUtf8("配置文件创建失败，请确认程序所在目录可写！");
}
inline QString outOfMemory()
{
    return QString::fromUtf8("你的电脑弱爆了！连块内存都不给我，哼~本宝宝不干了！");
}
inline QString tempNotWritable()
{
    return QString::fromUtf8("windows临时文件目录不可写！程序即将终止！");
}
} // namespace StartupMessages
