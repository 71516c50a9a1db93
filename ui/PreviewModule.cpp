#include "PreviewModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <memory>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// What the factory holds once the module is loaded; a failure is tried again on the next call.
struct LoadedModule
{
    PreviewModuleCreate *create = nullptr;
};

PreviewModuleCreate *loadModule(const QStringList &candidates, QString &whyNot)
{
    QString path;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty()) {
        whyNot = text("无法打开预览：找不到预览窗口的模块（%1）。请重新安装 Zabo。")
                     .arg(QDir::toNativeSeparators(candidates.value(candidates.size() - 1)));
        return nullptr;
    }
    QLibrary library(path);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        whyNot = text("无法打开预览：预览窗口的模块 %1 无法载入（%2）。请重新安装 Zabo。")
                     .arg(QDir::toNativeSeparators(path), library.errorString());
        return nullptr;
    }
    const auto version =
        reinterpret_cast<PreviewModuleVersion *>(library.resolve(ZABO_PREVIEW_MODULE_VERSION_SYMBOL));
    const auto create =
        reinterpret_cast<PreviewModuleCreate *>(library.resolve(ZABO_PREVIEW_MODULE_CREATE_SYMBOL));
    if (!version || !create || qstrcmp(version(), ZABO_VERSION) != 0) {
        whyNot = text("无法打开预览：预览窗口的模块 %1 不属于这个版本的 Zabo（%2）。请重新安装 Zabo。")
                     .arg(QDir::toNativeSeparators(path), QStringLiteral(ZABO_VERSION));
        return nullptr;
    }
    return create;
}

} // namespace

QStringList previewModuleCandidates(const QString &programDirectory)
{
    const QDir program(programDirectory);
    return {program.filePath(QStringLiteral(ZABO_PREVIEW_MODULE_NAME)),
            QDir::cleanPath(program.filePath(QStringLiteral(ZABO_PREVIEW_MODULE_FROM_BINDIR)))};
}

PreviewWindowFactory previewModuleFactory(const QStringList &candidates)
{
    auto loaded = std::make_shared<LoadedModule>();
    return [candidates, loaded](const QString &formatterPath, JobPrompts &prompts, QWidget *parent,
                                QString &whyNot) -> PreviewWindow * {
        if (!loaded->create)
            loaded->create = loadModule(candidates, whyNot);
        return loaded->create ? loaded->create(formatterPath, prompts, parent) : nullptr;
    };
}
