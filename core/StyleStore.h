#pragma once

#include "StyleRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;
class StyleFileLock;
class UserPrompts;

// The configuration file as bytes: an 8-byte little-endian header (StyleCount, SelectedIndex) and then
// the records. Pure, so tests and a command-line front end can use it without a store.
QByteArray serializeStyleFile(const QVector<StyleRecord> &records, qint32 selectedIndex);

struct StyleFileContent
{
    enum class State {
        Sound,   // header and every record present
        Empty,   // no bytes, or a header that counts no style
        Damaged, // too short for its header or records, or a count that cannot be right
    };
    State state = State::Empty;
    QVector<StyleRecord> records;
    qint32 selectedIndex = 0; // clamped into the records when the file's own is out of range
};

// Reads no byte beyond what the header promises; names without their NUL are cut at 254 bytes.
StyleFileContent readStyleFile(QIODevice &device);

QVector<StyleRecord> builtInStyles();
StyleRecord makeStyleRecord(const QString &name, const StyleFlags &flags);

// The user's named styles, in memory and mirrored whole in the configuration file after every change.
// Records 0 to 3 are the built-in styles: protected by position alone.
class StyleStore
{
public:
    static constexpr int BuiltInCount = 4;
    static constexpr qint32 MaxStyleCount = 1000000;

    // Failed: nothing changed, because the file could not be locked or read, or the style to delete is
    // gone; the user has been told which.
    enum class SaveOutcome { Refused, Declined, Added, Overwritten, Failed };
    enum class DeleteOutcome { Refused, Declined, Deleted, Failed };

    StyleStore(const QString &configPath, UserPrompts &prompts);

    // Loads the file or creates it with the built-in styles. A damaged file is copied aside first and
    // the user is told where. False when there is no usable file and none can be written; the message
    // has been shown and start-up must end.
    bool LoadStyleFile();
    // What LoadStyleFile says when there is no usable file and none can be made; by default the
    // portable copy's "配置文件创建失败，请确认程序所在目录可写！".
    void setCreateFailedMessage(const QString &text) { m_createFailedMessage = text; }

    // Stores flags under name: a built-in name is refused, another existing one is overwritten after a
    // question, a new one is appended and selected.
    SaveOutcome SaveStyleAs(const QString &name, const StyleFlags &flags);
    // Deletes the style at listIndex after a question; built-ins and -1 are refused.
    DeleteOutcome DeleteStyle(int listIndex);
    // Replaces the file atomically; on failure the user is told and memory keeps the change.
    bool WriteStyleFile();

    // Another instance may have rewritten the file since this one read it. A save or a delete therefore
    // locks the file, reads it again and, when its list differs from the one this instance last read or
    // wrote, takes that list over (telling the user) and applies its one change to it. True when the
    // last save or delete did so: the window then shows the list again.
    bool listReloaded() const { return m_listReloaded; }

    QString configPath() const { return m_configPath; }
    int StyleCount() const { return m_records.size(); }
    int SelectedIndex() const { return m_selectedIndex; }
    void setSelectedIndex(int index);

    const StyleRecord &record(int index) const { return m_records.at(index); }
    QString styleName(int index) const;
    StyleFlags styleFlags(int index) const;
    QStringList styleNames() const;

private:
    class LockedStep;
    // Shows a message now, or once the lock is released when a step holds it: no message box is ever open
    // while the lock is held, as another instance would take a lock older than its stale time.
    void tell(const QString &text);
    bool loadLocked();
    bool createBuiltInFile();
    QString preserveDamagedFile();
    bool lockAndSync(StyleFileLock &lock);
    bool syncWithFile();
    void takeOver(const StyleFileContent &content);
    int indexOfStyle(const StyleRecord &style, int preferredIndex) const;
    int lastUserStyleNamed(const QString &name) const;

    QString m_configPath;
    UserPrompts &m_prompts;
    QVector<StyleRecord> m_records;
    qint32 m_selectedIndex = 0;
    QVector<StyleRecord> m_onDisk; // the list as this instance last read or wrote it
    bool m_listReloaded = false;
    QString m_createFailedMessage;
    int m_lockingSteps = 0;
    QStringList m_toldWhileLocked;
};
