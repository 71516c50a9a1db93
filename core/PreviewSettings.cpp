#include "PreviewSettings.h"

#include "AtomicFile.h"
#include "Descriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

namespace {

// A few hundred bytes; a larger file is not ours.
constexpr qint64 MaximumBytes = 64 * 1024;

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray fromBase64(const QJsonObject &object, const char *key)
{
    return QByteArray::fromBase64(object.value(QLatin1String(key)).toString().toLatin1());
}

} // namespace

QString previewSettingsPath(const QString &configDirectory)
{
    return configDirectory + QStringLiteral("/preview.json");
}

PreviewSettingsRead loadPreviewSettings(const QString &path)
{
    PreviewSettingsRead read;
    const RegularFileRead file = readRegularFile(QFile::encodeName(path), MaximumBytes);
    switch (file.status) {
    case RegularFileRead::Status::Read:
        break;
    case RegularFileRead::Status::NotRegular:
        read.error = text("不是普通文件");
        return read;
    case RegularFileRead::Status::TooLarge:
        read.error = text("文件过大");
        return read;
    case RegularFileRead::Status::Failed:
        if (file.error != ENOENT)
            read.error = QString::fromLocal8Bit(std::strerror(file.error));
        return read;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &parseError);
    if (!document.isObject()) {
        read.error = text("内容无法识别");
        return read;
    }
    const QJsonObject object = document.object();
    read.settings.geometry = fromBase64(object, "geometry");
    read.settings.compareSplitter = fromBase64(object, "compareSplitter");
    read.settings.messagesSplitter = fromBase64(object, "messagesSplitter");
    read.settings.view = object.value(QLatin1String("view")).toString();
    return read;
}

QString savePreviewSettings(const QString &path, const PreviewSettings &settings)
{
    QJsonObject object;
    object.insert(QLatin1String("geometry"), QString::fromLatin1(settings.geometry.toBase64()));
    object.insert(QLatin1String("compareSplitter"), QString::fromLatin1(settings.compareSplitter.toBase64()));
    object.insert(QLatin1String("messagesSplitter"),
                  QString::fromLatin1(settings.messagesSplitter.toBase64()));
    object.insert(QLatin1String("view"), settings.view);
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return text("无法创建目录 %1").arg(QDir::toNativeSeparators(directory));
    if (!writeFileAtomically(path, QJsonDocument(object).toJson()))
        return text("无法写入 %1").arg(QDir::toNativeSeparators(path));
    return QString();
}
