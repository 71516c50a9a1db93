#pragma once

#include <QByteArray>
#include <QString>

// What the preview window remembers across starts: where it was, how its panes were split and which
// view it showed. Kept in a small file of its own in the user's configuration directory, never in the
// style file.
struct PreviewSettings
{
    QByteArray geometry;         // QWidget::saveGeometry
    QByteArray compareSplitter;  // QSplitter::saveState of the side-by-side panes
    QByteArray messagesSplitter; // and of the views above indent's messages
    QString view;                // the object name of the page shown last
};

// configDirectory + "/preview.json".
QString previewSettingsPath(const QString &configDirectory);

struct PreviewSettingsRead
{
    PreviewSettings settings; // empty when there was nothing usable
    QString error;            // why a file that is there could not be used; empty when it was, or is missing
};

// A missing file is no error: the window then places itself. Anything but a small regular file of the
// expected form is refused with a reason, never waited on.
PreviewSettingsRead loadPreviewSettings(const QString &path);

// Writes the settings atomically, making the directory when it is missing; the reason on failure,
// empty on success.
QString savePreviewSettings(const QString &path, const PreviewSettings &settings);
