#include "UnparsableSources.h"

#include "CellTable.h"

#include <QFile>

namespace {

// indent names a file it could not parse as "indent: NAME:LINE: Error:WHAT".
const QByteArray MessagePrefix = "indent: ";

bool isErrorAbout(const QByteArray &line, const QByteArray &copyName)
{
    const QByteArray prefix = MessagePrefix + copyName + ':';
    return line.startsWith(prefix) && line.indexOf(": Error:", prefix.size() - 1) > 0;
}

} // namespace

ParseScreening leaveOutUnparsable(QVector<SourceText> *files, const EvaluatorSetup &setup,
                                  const std::atomic_bool &cancel)
{
    ParseScreening screening;
    StyleEvaluator evaluator(*files, setup);
    if (!evaluator.isReady())
        return screening;
    StyleScore score;
    evaluator.format(ParameterTextFor(CheckStates{}), cancel, &score);
    // indent 2.2.12 ends with status 0 after some of these errors ("Unmatched 'else'"): read what it says
    if (!score.scored() || score.messages.isEmpty())
        return screening;
    const QList<QByteArray> lines = score.messages.split('\n');
    QVector<SourceText> parsed;
    for (int index = 0; index < files->size(); ++index) {
        const QByteArray copyName = QFile::encodeName(evaluator.copyName(index));
        bool failed = false;
        for (const QByteArray &line : lines) {
            if (!isErrorAbout(line, copyName))
                continue;
            failed = true;
            screening.messages.append(files->at(index).path +
                                      line.mid(MessagePrefix.size() + copyName.size()));
        }
        if (failed)
            screening.unparsable.append(files->at(index).path);
        else
            parsed.append(files->at(index));
    }
    screening.keptAll = parsed.isEmpty();
    if (!screening.keptAll)
        *files = parsed;
    return screening;
}
