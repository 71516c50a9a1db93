#include "Main.h"
#include "ui_Main.h"

#include "Aboutme.h"
#include "Application.h"
#include "AtomicFile.h"
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormattingJob.h"
#include "ImportProfile.h"
#include "IndentProfile.h"
#include "InferStyle.h"
#include "Inputname.h"
#include "MenuShortcutStyle.h"
#include "OptionEffects.h"
#include "OptionSearch.h"
#include "OptionSearchBar.h"
#include "PreviewWindow.h"
#include "QtPrompts.h"
#include "RowExample.h"
#include "RowExampleText.h"
#include "ScreenFit.h"
#include "Startup.h"
#include "StyleGridModel.h"
#include "StyleStore.h"
#include "WindowPlacement.h"
#include "WindowStyle.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QShortcut>
#include <QSignalBlocker>
#include <QToolTip>

#include <algorithm>
#include <new>

TMainForm *MainForm = nullptr;

namespace {

// Holds back a control's repainting until the bracket closes, so that a bulk change paints once.
class UpdateBracket
{
public:
    explicit UpdateBracket(QWidget *widget)
        : m_widget(widget)
        , m_wasEnabled(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~UpdateBracket() { m_widget->setUpdatesEnabled(m_wasEnabled); }
    UpdateBracket(const UpdateBracket &) = delete;
    UpdateBracket &operator=(const UpdateBracket &) = delete;

private:
    QWidget *m_widget;
    bool m_wasEnabled;
};

constexpr int ColumnWidths[CellTable::ColumnCount] = {35, 68, 640};
// The client area on a screen that holds it, and the least it shrinks to on one that does not: the grid
// keeps 160 by 120 of its 768 by 441.
constexpr QSize DesignedSize(952, 551);
constexpr int CopiedNoticeMilliseconds = 4000;
constexpr int MonospacePixels = 14;
constexpr QRgb DeleteCaption = 0xa52a2a;
constexpr QSize SmallestSize(952 - 608, 551 - 321);

// A tip over the grid in the grid's own face, as its rows are drawn.
QString inGridFace(const QString &html)
{
    return QStringLiteral("<div style=\"font-family:Consolas; font-size:%1px\">%2</div>")
        .arg(MonospacePixels)
        .arg(html);
}

// How a control gives up the width and height that a small screen takes from the window.
struct ShrinkRule
{
    bool followsBottom; // moves up with the bottom edge
    bool narrower;
    bool shorter;
};

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TMainForm>())
    , m_qtPrompts(std::make_unique<QtPrompts>(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    applyWindowStyle(this);
    for (QWidget *mono :
         std::initializer_list<QWidget *>{ui->StyleGrid, ui->ParamMemo, ui->SaveCfgButton, ui->DeleteButton})
        useMonospaceFace(mono, MonospacePixels);
    QPalette deleteColours = ui->DeleteButton->palette();
    deleteColours.setColor(QPalette::ButtonText, QColor(DeleteCaption));
    ui->DeleteButton->setPalette(deleteColours);
    alignButtonTextLeft(ui->TitleButton);
    hideFocusFrame(ui->StyleListBox);
    ui->StyleGrid->setHorizontalHeader(new StyleGridHeader(ui->StyleGrid));
    ui->StyleGrid->viewport()->installEventFilter(this);
    ui->StyleGrid->installEventFilter(this);

    // once per click: a click on another style is its selection change, one on the selected style a click
    ui->StyleListBox->viewport()->installEventFilter(this);
    connect(ui->StyleListBox, &QListWidget::itemSelectionChanged, this, &TMainForm::StyleListBoxClick);
    connect(ui->StyleListBox, &QListWidget::itemClicked, this, [this] {
        if (m_pressOnSelectedStyle)
            StyleListBoxClick();
    });
    connect(ui->SaveCfgButton, &QPushButton::clicked, this, &TMainForm::SaveCfgButtonClick);
    connect(ui->DeleteButton, &QPushButton::clicked, this, &TMainForm::DeleteButtonClick);
    connect(ui->IndentDirItem, &QAction::triggered, this, &TMainForm::IndentDirItemClick);
    connect(ui->IndentFileItem, &QAction::triggered, this, &TMainForm::IndentFileItemClick);
    connect(ui->PreviewItem, &QAction::triggered, this, &TMainForm::PreviewItemClick);
    connect(ui->IndentTreeItem, &QAction::triggered, this, &TMainForm::IndentTreeItemClick);
    connect(ui->AboutItem, &QAction::triggered, this, &TMainForm::AboutItemClick);
    connect(ui->ExitItem, &QAction::triggered, this, &TMainForm::ExitItemClick);
    connect(ui->ImportProfileItem, &QAction::triggered, this, &TMainForm::ImportProfileItemClick);
    connect(ui->ExportProfileItem, &QAction::triggered, this, &TMainForm::ExportProfileItemClick);
    connect(ui->CopyCommandLineItem, &QAction::triggered, this, &TMainForm::CopyCommandLineItemClick);
    connect(ui->InferStyleItem, &QAction::triggered, this, &TMainForm::InferStyleItemClick);

    auto *menuStyle = new MenuShortcutStyle();
    menuStyle->setParent(ui->ToolsMenu);
    ui->ToolsMenu->setStyle(menuStyle);

    // the search sits in the menu bar's corner, so that nothing the window shows moves
    m_searchBar = new OptionSearchBar(ui->MenuBar1);
    ui->MenuBar1->setCornerWidget(m_searchBar, Qt::TopRightCorner);
    m_highlight = new SearchHighlightDelegate(ui->StyleGrid);
    ui->StyleGrid->setItemDelegate(m_highlight);
    QWidget::setTabOrder(ui->SaveCfgButton, m_searchBar->searchField());
    QWidget::setTabOrder(m_searchBar->searchField(), m_searchBar->topicChooser());
    QWidget::setTabOrder(m_searchBar->topicChooser(), ui->StyleGrid);
    auto *searchShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this);
    connect(searchShortcut, &QShortcut::activated, m_searchBar, &OptionSearchBar::focusSearch);
    connect(m_searchBar, &OptionSearchBar::filterChanged, this, &TMainForm::applyOptionFilter);
    connect(m_searchBar, &OptionSearchBar::leaveForGrid, this,
            [this] { ui->StyleGrid->setFocus(Qt::TabFocusReason); });
    m_searchBar->showCount(OptionCount, OptionCount);
}

TMainForm::~TMainForm() = default;

bool TMainForm::FormCreate(const StartupEnvironment &environment)
{
    m_prompts = environment.prompts ? environment.prompts : m_qtPrompts.get();
    m_exitProgram = environment.exitProgram;
    if (!m_exitProgram)
        m_exitProgram = [](int status) { QCoreApplication::exit(status); };

    setWindowTitle(windowTitle() + versionSuffix(programVersionValue()));
    m_programDirectory = environment.programDirectory;
    m_userConfigDirectory = environment.userDirectories.configDirectory;
    const AppLocations locations = locateAppFiles(m_programDirectory, environment.userDirectories);
    m_configPath = locations.configPath;
    m_outputDirectory = locations.outputDirectory;
    QString createFailed = StartupMessages::configCreateFailed();
    if (locations.mode == AppLocations::Mode::Installed) {
        const ConfigDirectoryCheck directory = prepareConfigDirectory(m_configPath);
        if (!directory.ok) {
            m_prompts->ShowMessage(
                StartupMessages::configCreateFailedAt(directory.failedPath, directory.reason));
            return false;
        }
        m_configPath = directory.configPath;
        createFailed = StartupMessages::configCreateFailedAt(QDir::toNativeSeparators(m_configPath),
                                                             QString::fromUtf8("无法读取或创建此文件。"));
    }

    m_store = std::make_unique<StyleStore>(m_configPath, *m_prompts);
    m_store->setCreateFailedMessage(createFailed);
    if (!m_store->LoadStyleFile())
        return false;
    fillStyleList();
    selectListEntry(m_store->SelectedIndex());

    try {
        m_cells = std::make_unique<CellTable>();
    } catch (const std::bad_alloc &) {
        m_prompts->ShowMessage(StartupMessages::outOfMemory());
        return false;
    }
    m_gridModel = new StyleGridModel(
        CellTable::RowCount,
        {QString::fromUtf8("选定"), QString::fromUtf8("参数"), QString::fromUtf8("参数含义说明")},
        [this](int column, int row) { return StyleGridGetValue(column, row); }, this);
    ui->StyleGrid->setModel(m_gridModel);
    for (int column = 0; column < CellTable::ColumnCount; ++column)
        ui->StyleGrid->horizontalHeader()->resizeSection(column, ColumnWidths[column]);
    // a current cell from the start keeps the view from picking one (and so toggling it) on focus
    ui->StyleGrid->selectionModel()->setCurrentIndex(m_gridModel->index(0, 0), QItemSelectionModel::NoUpdate);
    connect(ui->StyleGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && !m_movingQuietly)
                    StyleGridSelectCell(current.column(), current.row());
            });
    showStyle(m_store->SelectedIndex());

    const FormatterDeployment deployment = DeployFormatter(environment.tempDirectory);
    if (!deployment.ok) {
        m_prompts->ShowMessage(StartupMessages::tempNotWritableAt(
            QDir::toNativeSeparators(environment.tempDirectory), deployment.error));
        return false;
    }
    m_formatterPath = deployment.formatterPath;
    m_job = std::make_unique<FormattingJob>(
        FormattingJob::Context{m_outputDirectory, m_formatterPath,
                               [this] { return ui->ParamMemo->parameterText(); }},
        *m_prompts);
    return true;
}

QVariant TMainForm::StyleGridGetValue(int ACol, int ARow) const
{
    return m_cells ? m_cells->cell(ARow, ACol) : QVariant();
}

void TMainForm::StyleGridSelectCell(int ACol, int ARow)
{
    Q_UNUSED(ACol) // whichever cell of the row is selected, the row's check flips
    {
        const UpdateBracket grid(ui->StyleGrid);
        m_cells->toggle(ARow);
        m_gridModel->rowsChanged(ARow, ARow);
        refreshRowNotes();
    }
    showParameterText(m_cells->ComposeParameterText());
}

void TMainForm::applyOptionFilter()
{
    if (!m_cells)
        return;
    const QString text = m_searchBar->searchText();
    const RowVisibility rows = matchingRows(text, m_searchBar->topic());
    {
        const UpdateBracket grid(ui->StyleGrid);
        for (int row = 0; row < OptionCount; ++row)
            ui->StyleGrid->setRowHidden(row, !rows[size_t(row)]);
        m_highlight->setSearchText(text);
    }
    ui->StyleGrid->viewport()->update();
    m_searchBar->showCount(visibleRowCount(rows), OptionCount);
    const int current = ui->StyleGrid->currentIndex().row();
    if (current >= 0 && !rows[size_t(current)]) {
        const auto first = std::find(rows.cbegin(), rows.cend(), true);
        if (first != rows.cend())
            moveCurrentRowQuietly(int(first - rows.cbegin()));
    }
}

void TMainForm::showRowExample(int row, const QPoint &globalPosition)
{
    if (m_formatterPath.isEmpty())
        return;
    if (!m_examples) {
        m_examples = new RowExampleMaker(m_formatterPath, this);
        connect(m_examples, &RowExampleMaker::ready, this, &TMainForm::rowExampleReady);
    }
    m_exampleRow = row;
    m_examplePosition = globalPosition;
    QToolTip::showText(globalPosition, inGridFace(rowExamplePendingText(row).toHtmlEscaped()), ui->StyleGrid);
    m_examples->request(row, m_cells->checks());
}

void TMainForm::rowExampleReady(const RowExample &example)
{
    // only the row still asked for: leaving the grid forgets it
    if (example.row != m_exampleRow)
        return;
    QToolTip::showText(m_examplePosition, inGridFace(rowExampleHtml(example)), ui->StyleGrid);
}

void TMainForm::moveCurrentRowQuietly(int row)
{
    m_movingQuietly = true;
    ui->StyleGrid->selectionModel()->setCurrentIndex(
        m_gridModel->index(row, ui->StyleGrid->currentIndex().column()),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_movingQuietly = false;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->StyleListBox->viewport() && event->type() == QEvent::MouseButtonPress) {
        const QPoint position = static_cast<QMouseEvent *>(event)->position().toPoint();
        const QListWidgetItem *item = ui->StyleListBox->itemAt(position);
        m_pressOnSelectedStyle = item && item->isSelected();
    }
    if (m_cells && watched == ui->StyleGrid->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const QPoint position = static_cast<QMouseEvent *>(event)->position().toPoint();
        const QModelIndex index = ui->StyleGrid->indexAt(position);
        // a press on another row moves the current row, and that move is the selection event
        if (index.isValid() && index.row() == ui->StyleGrid->currentIndex().row())
            StyleGridSelectCell(index.column(), index.row());
    } else if (watched == ui->StyleGrid->viewport() && event->type() == QEvent::Leave) {
        m_exampleRow = -1;
    } else if (m_cells && watched == ui->StyleGrid->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = ui->StyleGrid->indexAt(help->pos());
        if (index.isValid()) {
            showRowExample(index.row(), help->globalPos());
            return true;
        }
    } else if (m_cells && watched == ui->StyleGrid && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QModelIndex current = ui->StyleGrid->currentIndex();
        // the keyboard's way to select the current cell again
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && current.isValid()) {
            StyleGridSelectCell(current.column(), current.row());
            return true;
        }
        // the keyboard's way to see the current row's example
        if (key->key() == Qt::Key_F2 && current.isValid()) {
            const QRect cell = ui->StyleGrid->visualRect(current);
            showRowExample(current.row(), ui->StyleGrid->viewport()->mapToGlobal(cell.bottomLeft()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        fitToScreen();
        centreWindow(this);
        m_placed = true;
    }
    QWidget::showEvent(event);
}

void TMainForm::fitToScreen()
{
    const QSize fitted =
        fittedClientSize(DesignedSize, SmallestSize, expectedFrame(this), availableArea(this));
    const QSize lost = size() - fitted;
    if (lost.width() <= 0 && lost.height() <= 0)
        return;
    const std::pair<QWidget *, ShrinkRule> rules[] = {
        {ui->MenuBar1, {false, true, false}},      {ui->StyleGrid, {false, true, true}},
        {ui->StyleListBox, {false, false, true}},  {ui->ParamMemo, {true, true, false}},
        {ui->SaveCfgButton, {true, false, false}}, {ui->DeleteButton, {true, false, false}},
    };
    for (const auto &[control, rule] : rules) {
        QRect geometry = control->geometry();
        if (rule.followsBottom)
            geometry.translate(0, -lost.height());
        geometry.setSize(geometry.size() -
                         QSize(rule.narrower ? lost.width() : 0, rule.shorter ? lost.height() : 0));
        control->setGeometry(geometry);
    }
    setFixedSize(fitted);
}

void TMainForm::StyleListBoxClick()
{
    const int index = selectedListIndex();
    if (index < 0)
        return;
    m_store->setSelectedIndex(index);
    showStyle(m_store->SelectedIndex());
}

void TMainForm::SaveCfgButtonClick()
{
    const int index = selectedListIndex();
    TInputNameForm *nameForm = index < 0 ? nullptr : ensureInputNameForm();
    if (!nameForm)
        return;
    nameForm->PresetName(ui->StyleListBox->item(index)->text());
    nameForm->show();
    nameForm->raise();
    nameForm->activateWindow();
}

void TMainForm::DeleteButtonClick()
{
    if (m_store->DeleteStyle(selectedListIndex()) != StyleStore::DeleteOutcome::Deleted) {
        refreshListIfReloaded();
        return;
    }
    fillStyleList();
    selectListEntry(m_store->SelectedIndex());
    showStyle(m_store->SelectedIndex());
}

void TMainForm::SaveStyleAs(const QString &name)
{
    const StyleStore::SaveOutcome outcome = m_store->SaveStyleAs(name, m_cells->checkFlags());
    if (refreshListIfReloaded() || outcome != StyleStore::SaveOutcome::Added)
        return;
    const int added = m_store->StyleCount() - 1;
    {
        const QSignalBlocker blocker(ui->StyleListBox);
        ui->StyleListBox->addItem(m_store->styleName(added));
    }
    selectListEntry(added);
}

void TMainForm::IndentDirItemClick()
{
    if (m_job)
        m_job->IndentDirItemClick();
}

void TMainForm::IndentFileItemClick()
{
    if (m_job)
        m_job->IndentFileItemClick();
}

void TMainForm::PreviewItemClick()
{
    PreviewWindow *preview = ensurePreviewForm();
    if (!preview)
        return;
    preview->show();
    preview->raise();
    preview->activateWindow();
}

QList<QAction *> TMainForm::sharedMenuActions() const
{
    QList<QAction *> actions;
    for (QAction *action : findChildren<QAction *>()) {
        if (action != ui->ExitItem && !action->shortcut().isEmpty())
            actions.append(action);
    }
    return actions;
}

void TMainForm::IndentTreeItemClick()
{
    if (m_job)
        m_job->IndentTreeItemClick();
}

void TMainForm::AboutItemClick()
{
    TAboutForm *about = ensureAboutForm();
    if (!about)
        return;
    about->show();
    about->raise();
    about->activateWindow();
}

void TMainForm::ExitItemClick()
{
    delete InputNameForm;
    InputNameForm = nullptr;
    m_exitProgram(0);
}

int TMainForm::selectedListIndex() const
{
    const QList<QListWidgetItem *> selected = ui->StyleListBox->selectedItems();
    return selected.isEmpty() ? -1 : ui->StyleListBox->row(selected.first());
}

void TMainForm::fillStyleList()
{
    const QSignalBlocker blocker(ui->StyleListBox);
    ui->StyleListBox->clear();
    ui->StyleListBox->addItems(m_store->styleNames());
}

// Another instance changed the styles and the store has taken its list over; the grid keeps what it
// shows, unsaved toggles included.
bool TMainForm::refreshListIfReloaded()
{
    if (!m_store->listReloaded())
        return false;
    fillStyleList();
    selectListEntry(m_store->SelectedIndex());
    return true;
}

void TMainForm::selectListEntry(int index)
{
    const QSignalBlocker blocker(ui->StyleListBox);
    ui->StyleListBox->setCurrentRow(index);
}

void TMainForm::showStyle(int index)
{
    QString text;
    {
        const UpdateBracket memo(ui->ParamMemo);
        {
            const UpdateBracket grid(ui->StyleGrid);
            text = m_cells->ShowStyle(m_store->styleFlags(index));
            m_gridModel->rowsChanged(0, CellTable::RowCount - 1);
            refreshRowNotes();
        }
        ui->ParamMemo->setParameterText(text);
    }
    emit parameterTextChanged(text);
}

void TMainForm::showParameterText(const QString &text)
{
    {
        const UpdateBracket memo(ui->ParamMemo);
        ui->ParamMemo->setParameterText(text);
    }
    emit parameterTextChanged(text);
}

QString TMainForm::parameterText() const
{
    return ui->ParamMemo->parameterText();
}

void TMainForm::ImportProfileItemClick()
{
    if (!m_cells)
        return;
    if (!m_importForm) {
        m_importForm = new TImportProfileForm(*m_prompts, this);
        connect(m_importForm, &TImportProfileForm::profileImported, this, &TMainForm::applyImportedProfile);
    }
    m_importForm->reset();
    fitOnScreen(m_importForm);
    m_importForm->open();
}

void TMainForm::applyImportedProfile(const ProfileImport &import)
{
    applySelection(import.checks);
}

void TMainForm::InferStyleItemClick()
{
    if (!m_cells)
        return;
    if (!m_inferForm) {
        m_inferForm = new TInferStyleForm(m_formatterPath, *m_prompts, this);
        connect(m_inferForm, &TInferStyleForm::styleApplied, this, &TMainForm::applyInferredStyle);
    }
    m_inferForm->setWorkingSelection(m_cells->checks());
    fitOnScreen(m_inferForm);
    m_inferForm->open();
}

void TMainForm::applyInferredStyle(const CheckStates &checks, const QByteArray &firstSource)
{
    applySelection(checks);
    emit inferredStyleApplied(firstSource);
}

void TMainForm::applySelection(const CheckStates &checks)
{
    {
        const UpdateBracket memo(ui->ParamMemo);
        {
            const UpdateBracket grid(ui->StyleGrid);
            for (int row = 0; row < CellTable::RowCount; ++row)
                m_cells->setChecked(row, checks[size_t(row)]);
            m_gridModel->rowsChanged(0, CellTable::RowCount - 1);
            refreshRowNotes();
        }
        ui->ParamMemo->setParameterText(m_cells->ComposeParameterText());
    }
    emit parameterTextChanged(ui->ParamMemo->parameterText());
}

void TMainForm::ExportProfileItemClick()
{
    if (!m_cells)
        return;
    const QString parameterText = ui->ParamMemo->parameterText();
    const QString path = m_prompts->saveFile(
        {QString::fromUtf8("导出indent配置"),
         {QString::fromUtf8("indent配置 (.indent.pro *.pro)"), QString::fromUtf8("所有文件 (*)")},
         m_programDirectory + QStringLiteral(".indent.pro")});
    if (path.isEmpty())
        return;
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!writeFileAtomically(path, indentProfileText(selectedStyleName(), parameterText))) {
        m_prompts->ShowMessage(QString::fromUtf8("indent配置导出失败，无法写入：%1").arg(shownPath));
        return;
    }
    QString message = QString::fromUtf8("indent配置已导出：%1").arg(shownPath);
    const QStringList leftOut = optionsLeftOutOfProfile(parameterText);
    if (!leftOut.isEmpty())
        message +=
            QString::fromUtf8("\n未写入 %1：它们在配置文件中没有意义。").arg(leftOut.join(QLatin1Char(' ')));
    const RowNotes notes = optionNotes(m_cells->checks());
    if (std::any_of(notes.cbegin(), notes.cend(),
                    [](const RowNote &note) { return note.effect == RowNote::Effect::MissingTypeName; }))
        message += QString::fromUtf8("\n最后的 -T 后面没有类型名，indent 读取这个配置时会报错。");
    m_prompts->ShowMessage(message);
}

void TMainForm::CopyCommandLineItemClick()
{
    const QString parameterText = ui->ParamMemo->parameterText().trimmed();
    QString commandLine = QStringLiteral("indent");
    if (!parameterText.isEmpty())
        commandLine += QLatin1Char(' ') + parameterText;
    QGuiApplication::clipboard()->setText(commandLine);
    // the copy is silent otherwise: say what went to the clipboard, just under the menu bar
    const QString copied = fontMetrics().elidedText(commandLine, Qt::ElideRight, width() * 2 / 3);
    QToolTip::showText(ui->MenuBar1->mapToGlobal(ui->MenuBar1->rect().bottomLeft()),
                       QString::fromUtf8("已复制到剪贴板：%1").arg(copied), ui->MenuBar1, {},
                       CopiedNoticeMilliseconds);
}

QStringList TMainForm::rowNotes() const
{
    return m_cells ? optionNoteTexts(m_cells->checks()) : QStringList();
}

QStringList TMainForm::rowNoteLines() const
{
    QStringList lines;
    if (!m_cells)
        return lines;
    const RowNotes notes = optionNotes(m_cells->checks());
    for (int row = 0; row < CellTable::RowCount; ++row) {
        const RowNote &note = notes[size_t(row)];
        if (note.effect == RowNote::Effect::NotSelected ||
            (note.effect == RowNote::Effect::TakesEffect && note.typeNameRow < 0))
            continue;
        lines.append(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText) + QString::fromUtf8("：") +
                     rowNoteText(note));
    }
    return lines;
}

void TMainForm::refreshRowNotes()
{
    const RowNotes notes = optionNotes(m_cells->checks());
    QVector<StyleGridModel::RowShade> shades(CellTable::RowCount);
    for (int row = 0; row < CellTable::RowCount; ++row) {
        const RowNote &note = notes[size_t(row)];
        const bool explained =
            note.hasNoEffect() || note.effect == RowNote::Effect::PartlyOverridden || note.typeNameRow >= 0;
        shades[row] = {note.hasNoEffect(), explained ? rowNoteText(note) : QString()};
    }
    m_gridModel->setRowShades(shades);
}

QString TMainForm::selectedStyleName() const
{
    const int index = selectedListIndex();
    if (index < 0)
        return QString::fromUtf8("未保存的选择");
    QString name = m_store->styleName(index);
    const StyleFlags stored = m_store->styleFlags(index);
    for (int row = 0; row < CellTable::RowCount; ++row) {
        if ((stored[size_t(row)] != 0) != m_cells->isChecked(row)) {
            // the grid no longer shows the stored style: say so rather than name it falsely
            name += QString::fromUtf8("（未保存的修改）");
            break;
        }
    }
    return name;
}
