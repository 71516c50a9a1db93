#include "FolderOpener.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// xdg-open's documented exit statuses.
QString exitReason(int exitCode)
{
    switch (exitCode) {
    case 1:
        return text("xdg-open 不接受给它的参数");
    case 2:
        return text("目录不存在");
    case 3:
        return text("没有找到可以打开目录的程序");
    case 4:
        return text("打开目录的程序运行失败");
    default:
        return text("xdg-open 以状态 %1 结束").arg(exitCode);
    }
}

} // namespace

FolderOpener::FolderOpener(QObject *parent)
    : QObject(parent)
{}

FolderOpener::~FolderOpener()
{
    // a file manager that xdg-open waits for lives on without it: it holds none of our pipes
    for (QProcess *process : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

void FolderOpener::open(const QString &path, Failure onFailure)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (program.isEmpty()) {
        onFailure(text("未找到 xdg-open"));
        return;
    }
    auto *process = new QProcess(this);
    process->setProgram(program);
    // absolute, so the argument never begins with a dash
    process->setArguments({QFileInfo(path).absoluteFilePath()});
    process->setStandardInputFile(QProcess::nullDevice());
    // what xdg-open and the file manager say goes where ours goes: no pipe that could fill or break
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    // done with the process before the person hears of it: the message may wait long for an answer
    const auto done = [this, process, onFailure](const QString &failure) {
        process->disconnect(this);
        settle(process);
        process->deleteLater();
        if (!failure.isEmpty())
            onFailure(failure);
    };
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) // a crash is told by finished
            done(text("xdg-open 无法启动：%1").arg(process->errorString()));
    });
    connect(process, &QProcess::finished, this, [done](int exitCode, QProcess::ExitStatus exitStatus) {
        done(exitStatus == QProcess::CrashExit ? text("xdg-open 异常终止")
             : exitCode != 0                   ? exitReason(exitCode)
                                               : QString());
    });
    const bool wasBusy = !m_busy.isEmpty();
    m_busy.insert(process);
    QTimer::singleShot(m_busyLimit, process, [this, process] { settle(process); });
    if (!wasBusy)
        emit busyChanged(true);
    process->start();
}

void FolderOpener::settle(QProcess *process)
{
    if (m_busy.remove(process) && m_busy.isEmpty())
        emit busyChanged(false);
}
