#pragma once

#include "Application.h"
#include "PreviewRunner.h"
#include "PreviewSettings.h"
#include "PreviewWindow.h"
#include "SourceEncoding.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QVector>

#include <memory>
#include <optional>

class JobPrompts;
class QAction;
class ChangeMarking;
class LineDecorations;
class SideBySideView;

namespace Ui {
class TPreviewForm;
}

// The live preview: the working selection applied to a source (the built-in sample or the user's own
// file), shown as the formatted code, side by side with the source, and as the lines the last change
// of the selection changed. It follows the parameter text it is given; the formatting and the diffs
// come from PreviewRunner. It opens beside the main window and remembers where it was, in a settings
// file of its own.
class TPreviewForm : public PreviewWindow
{
    Q_OBJECT

public:
    TPreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent = nullptr);
    ~TPreviewForm() override;

    void setParameterText(const QString &text) override;
    void setOptionNotes(const QStringList &lines) override;
    void setSettingsPath(const QString &path) override;
    void shareShortcuts(const QList<QAction *> &actions) override;

    void OpenFileButtonClick();
    void SampleButtonClick();
    void EncodingBoxChange();
    // F7 and Shift+F7: the next or previous change in the view shown.
    void NextChangeItemClick();
    void PreviousChangeItemClick();
    bool openSource(const QByteArray &localPath) override;

    PreviewRunner &runner() { return m_runner; }

    // Shows the source line that one of indent's messages names, side by side with the result.
    void showSourceLine(const QString &message);
    void showComparison() override;

    SourceEncoding shownEncoding() const { return m_encoding; }
    // The settings as they are now: what the window writes when it is hidden or destroyed.
    PreviewSettings currentSettings() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setSource(const QByteArray &text, const QString &displayName, const QString &copyName);
    void requestPreview();
    void runnerFinished(const PreviewResult &result);
    void showResult(const PreviewResult &result);
    void showDiffs(const PreviewResult &result);
    void showChanges();
    void redisplay();
    QString statusText(const PreviewResult &result, const QString &changedLines) const;
    void showFailure(const PreviewResult &result);
    void showStatus();
    void setOutdated(bool outdated);
    void setupShortcuts();
    void goToChange(int direction);
    void placeBesideMainWindow();
    // How wide the window must be to show CodeColumns columns of code in one view.
    int codeWidth() const;
    void saveSettings();

    std::unique_ptr<Ui::TPreviewForm> ui;
    JobPrompts &m_prompts;
    PreviewRunner m_runner;

    QByteArray m_source;
    QString m_sourceName;
    QString m_copyName;
    SourceEncoding m_encoding = SourceEncoding::Utf8;
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
    QString m_cppNotice; // a line for the message pane when the source looks like C++
    SideBySideView *m_sideBySide = nullptr;
    ChangeMarking *m_marks = nullptr;
    LineDecorations *m_listing = nullptr; // the changes view's numbers and colours
    QVector<int> m_resultChangeRows;      // where the changes begin in the result, for F7 there
    QVector<int> m_hunkRows;              // the "@@" rows of the changes view
    // the parameter text of the result a request is compared with, to name the options it toggled
    quint64 m_comparedId = 0;
    QString m_comparedParameterText;
    bool m_outdated = false;
    int m_tabSize = 8; // what every view was last given
    QString m_lastDirectory;
    QString m_settingsPath;
    QString m_settingsError; // why the settings could not be read or written, shown in the status line
    bool m_placed = false;
    QSize m_preferredSize; // the size the window was last closed with, else one for two views of code
};

// The preview window built in this program rather than loaded from the module: what tests and tools
// register with setPreviewWindowFactory.
PreviewWindow *makePreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent,
                               QString &whyNot);
// PreviewForm as the window makePreviewForm built; null when there is none.
TPreviewForm *previewForm();
