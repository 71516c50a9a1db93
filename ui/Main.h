#pragma once

#include "AppLocations.h"
#include "StyleRecord.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class CellTable;
class FormattingJob;
class OptionSearchBar;
class RowExampleMaker;
struct RowExample;
class SearchHighlightDelegate;
class JobPrompts;
class QtPrompts;
class StyleGridModel;
class StyleStore;
class TImportProfileForm;
class TInferStyleForm;
struct ProfileImport;

namespace Ui {
class TMainForm;
}

// Where the program runs and who answers its questions. The entry passes the real places and Qt's
// dialogs; tests pass scratch directories, scripted answers and an exit they can observe.
struct StartupEnvironment
{
    QString programDirectory;        // ends with '/'
    UserDirectories userDirectories; // used when the program directory cannot be written
    QString tempDirectory;
    JobPrompts *prompts = nullptr;        // Qt dialogs when null
    std::function<void(int)> exitProgram; // QCoreApplication::exit when empty
};

// The working surface: the style list, the option grid with the parameter text under it, the buttons
// that save and delete styles, and the menu that runs the formatting jobs.
class TMainForm : public QWidget
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The start-up sequence. False after a fatal failure, once its message has been shown: the program
    // must then end with status 0 without showing a window.
    bool FormCreate(const StartupEnvironment &environment);

    // Called by the style name dialog's confirm button.
    void SaveStyleAs(const QString &name);

    QVariant StyleGridGetValue(int ACol, int ARow) const;
    void StyleGridSelectCell(int ACol, int ARow);

    void StyleListBoxClick();
    void SaveCfgButtonClick();
    void DeleteButtonClick();
    void IndentDirItemClick();
    void IndentFileItemClick();
    void PreviewItemClick();
    void IndentTreeItemClick();
    void AboutItemClick();
    void ExitItemClick();
    void ImportProfileItemClick();
    void ExportProfileItemClick();
    void CopyCommandLineItemClick();
    void InferStyleItemClick();

    // Replaces the working selection with an imported one; nothing is saved.
    void applyImportedProfile(const ProfileImport &import);
    // Replaces the working selection with a learnt one, as an import does, and has the preview show what
    // it still changes in firstSource; nothing is saved.
    void applyInferredStyle(const CheckStates &checks, const QByteArray &firstSource);
    // What each row of the working selection does, one text per catalogue row (empty: not ticked).
    QStringList rowNotes() const;
    // "option：note" for every ticked row whose note says more than that it takes effect.
    QStringList rowNoteLines() const;

    QString programDirectory() const { return m_programDirectory; }
    QString configPath() const { return m_configPath; }
    // Where the job script and the jobs' output directories go.
    QString outputDirectory() const { return m_outputDirectory; }
    QString formatterPath() const { return m_formatterPath; }
    // The user's configuration directory, where windows keep their settings.
    QString userConfigDirectory() const { return m_userConfigDirectory; }
    // The menu commands whose shortcuts other windows share: all but leaving the program.
    QList<QAction *> sharedMenuActions() const;
    JobPrompts &prompts() const { return *m_prompts; }
    QString parameterText() const;
    // Shows at globalPosition what row does under the working selection, once its example is made: what
    // hovering a row or F2 on the current one does.
    void showRowExample(int row, const QPoint &globalPosition);

signals:
    // Whenever ParamMemo is rebuilt, with the text it shows.
    void parameterTextChanged(const QString &text);
    // After a learnt style was applied: the source whose remaining changes the preview should show.
    void inferredStyleApplied(const QByteArray &firstSource);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The designed client area where the screen holds it with the frame, else as much as it holds, the
    // grid giving up the difference and scrolling.
    void fitToScreen();
    int selectedListIndex() const;
    void fillStyleList();
    bool refreshListIfReloaded();
    void selectListEntry(int index);
    void showStyle(int index);
    void showParameterText(const QString &text);
    void refreshRowNotes();
    // Shows the rows the search field and the topic ask for; ticks and ParamMemo stay as they are.
    void applyOptionFilter();
    void rowExampleReady(const RowExample &example);
    // Makes a shown row current without the toggle that a move of the current row means.
    void moveCurrentRowQuietly(int row);
    void applySelection(const CheckStates &checks);
    // The selected style's name, marked when the grid holds changes not saved to it.
    QString selectedStyleName() const;

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<QtPrompts> m_qtPrompts;
    JobPrompts *m_prompts = nullptr;
    std::function<void(int)> m_exitProgram;
    QString m_programDirectory;
    QString m_configPath;
    QString m_outputDirectory;
    QString m_formatterPath;
    QString m_userConfigDirectory;
    std::unique_ptr<StyleStore> m_store;
    std::unique_ptr<CellTable> m_cells;
    StyleGridModel *m_gridModel = nullptr;
    std::unique_ptr<FormattingJob> m_job;
    TImportProfileForm *m_importForm = nullptr;
    TInferStyleForm *m_inferForm = nullptr;
    bool m_placed = false;
    bool m_pressOnSelectedStyle = false; // the last press in the style list was on the selected style
    OptionSearchBar *m_searchBar = nullptr;
    SearchHighlightDelegate *m_highlight = nullptr;
    bool m_movingQuietly = false;
    RowExampleMaker *m_examples = nullptr; // made by the first example asked for
    int m_exampleRow = -1;
    QPoint m_examplePosition;
};

extern TMainForm *MainForm;
