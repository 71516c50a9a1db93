#pragma once

#include "PreviewRunner.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>
#include <optional>

class JobPrompts;
class QsciScintilla;

namespace Ui {
class TPreviewForm;
}

// The live preview: the working selection applied to a source (the built-in sample or the user's own
// file), shown as the formatted code, side by side with the source, and as the lines the last change
// of the selection changed. It follows the parameter text it is given; the formatting and the diffs
// come from PreviewRunner.
class TPreviewForm : public QWidget
{
    Q_OBJECT

public:
    TPreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent = nullptr);
    ~TPreviewForm() override;

    // The text ParamMemo shows; formatting starts at once while the window is visible.
    void setParameterText(const QString &text);
    // What the ticked rows really do, one line each ("-bl：被 -br 覆盖"); the grid's tooltips say the same.
    void setOptionNotes(const QStringList &lines);

    void OpenFileButtonClick();
    void SampleButtonClick();
    // Reads a file whole by the bytes of its path and previews it; the file is never written.
    bool openSource(const QByteArray &localPath);

    PreviewRunner &runner() { return m_runner; }

    // Shows the source line that one of indent's messages names, side by side with the result.
    void showSourceLine(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setSource(const QByteArray &text, const QString &displayName, const QString &copyName);
    void requestPreview();
    void runnerFinished(const PreviewResult &result);
    void showResult(const PreviewResult &result);
    void showDiffs(const PreviewResult &result);
    void showChanges();
    QString statusText(const PreviewResult &result, const QString &changedLines) const;
    void showFailure(const PreviewResult &result);
    void showStatus();
    void setOutdated(bool outdated);
    void syncScroll(QsciScintilla *from, QsciScintilla *to, const QVector<int> &lineMap);

    std::unique_ptr<Ui::TPreviewForm> ui;
    JobPrompts &m_prompts;
    PreviewRunner m_runner;

    QByteArray m_source;
    QString m_sourceName;
    QString m_copyName;
    int m_sourceGeneration = 0;
    QString m_parameterText;
    bool m_pending = false; // a request waits for the window to be shown
    bool m_running = false;
    QTimer m_busyNotice; // says "正在更新" once a run takes noticeably long

    struct GoodResult
    {
        PreviewResult result;
        int sourceGeneration = 0;
    };
    std::optional<GoodResult> m_lastGood;
    PreviewResult m_changes; // the latest result with its diffs, for the changes view
    bool m_changesShown = false;
    QString m_status;
    QVector<int> m_sourceToResult; // first visible line of one side to the other, by the diff
    QVector<int> m_resultToSource;
    bool m_syncing = false;
    bool m_outdated = false;
    int m_tabSize = 8; // what every view was last given
    QString m_lastDirectory;
};

extern TPreviewForm *PreviewForm;
