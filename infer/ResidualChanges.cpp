#include "ResidualChanges.h"

#include "LineDiff.h"

#include <numeric>

namespace {

using Kind = ResidualChanges::Kind;

bool isBlank(const QByteArray &line)
{
    return line.trimmed().isEmpty();
}

QByteArray withoutBlanks(const QByteArray &text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            kept += c;
    }
    return kept;
}

bool looksLikeComment(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    return text.contains("/*") || text.contains("*/") || text.contains("//") || text.startsWith('*');
}

// One change: the lines it removes and those it adds, side by side where their counts agree.
Kind kindOf(const QVector<QByteArray> &removed, const QVector<QByteArray> &added)
{
    const auto allBlank = [](const QVector<QByteArray> &lines) {
        return std::all_of(lines.cbegin(), lines.cend(), isBlank);
    };
    if (allBlank(removed) && allBlank(added))
        return Kind::BlankLines;
    const auto anyComment = [](const QVector<QByteArray> &lines) {
        return std::any_of(lines.cbegin(), lines.cend(), looksLikeComment);
    };
    if (anyComment(removed) || anyComment(added))
        return Kind::Comments;
    if (removed.size() == added.size()) {
        bool indentation = true;
        bool spacing = true;
        for (qsizetype at = 0; at < removed.size(); ++at) {
            indentation = indentation && removed.at(at).trimmed() == added.at(at).trimmed();
            spacing = spacing && withoutBlanks(removed.at(at)) == withoutBlanks(added.at(at));
        }
        if (indentation)
            return Kind::Indentation;
        if (spacing)
            return Kind::Spacing;
    }
    QByteArray before;
    QByteArray after;
    for (const QByteArray &line : removed)
        before += line;
    for (const QByteArray &line : added)
        after += line;
    if (withoutBlanks(before) == withoutBlanks(after))
        return Kind::LineBreaks;
    return Kind::Other;
}

} // namespace

int ResidualChanges::total() const
{
    return std::accumulate(std::begin(lines), std::end(lines), 0);
}

void ResidualChanges::add(const ResidualChanges &other)
{
    for (int kind = 0; kind < KindCount; ++kind)
        lines[kind] += other.lines[kind];
}

ResidualChanges residualChanges(const QByteArray &source, const QByteArray &formatted)
{
    ResidualChanges changes;
    const QVector<QByteArray> sourceLines = splitLines(source);
    const QVector<QByteArray> formattedLines = splitLines(formatted);
    QVector<QByteArray> removed;
    QVector<QByteArray> added;
    const auto close = [&] {
        if (removed.isEmpty() && added.isEmpty())
            return;
        changes.lines[int(kindOf(removed, added))] += int(removed.size() + added.size());
        removed.clear();
        added.clear();
    };
    for (const DiffLine &line : diffLines(source, formatted)) {
        switch (line.kind) {
        case DiffLine::Kind::Common:
            close();
            break;
        case DiffLine::Kind::Removed:
            removed.append(sourceLines.at(line.oldLine - 1));
            break;
        case DiffLine::Kind::Added:
            added.append(formattedLines.at(line.newLine - 1));
            break;
        }
    }
    close();
    return changes;
}

QString residualKindName(ResidualChanges::Kind kind)
{
    switch (kind) {
    case Kind::BlankLines:
        return QString::fromUtf8("空行");
    case Kind::Indentation:
        return QString::fromUtf8("缩进");
    case Kind::Spacing:
        return QString::fromUtf8("行内空格");
    case Kind::LineBreaks:
        return QString::fromUtf8("换行");
    case Kind::Comments:
        return QString::fromUtf8("注释");
    case Kind::Other:
        return QString::fromUtf8("其他");
    }
    return {};
}

QString residualKindRows(ResidualChanges::Kind kind)
{
    switch (kind) {
    case Kind::BlankLines:
        return QStringLiteral("-bad/-nbad -bap/-nbap -bbb -sob/-nsob");
    case Kind::Indentation:
        return QStringLiteral(
            "-i2/-i4 -ci0/-ci4 -bli0/2/4 -cli4 -cbi4 -sbi0/2/4 -ip4 -lp/-nlp -di20 -ut/-nut "
            "-ts2/-ts4");
    case Kind::Spacing:
        return QStringLiteral("-cs/-ncs -bs -pcs/-npcs -prs/-nprs -saf/-sai/-saw -ss/-nss");
    case Kind::LineBreaks:
        return QStringLiteral("-bl/-br -bls/-brs -ce/-nce -cdw/-ncdw -psl/-npsl -l74…-l120 -bbo/-nbbo "
                              "-hnl/-nhnl -bfda/-nbfda -bfde -bc/-nbc");
    case Kind::Comments:
        return QStringLiteral("-c41 -cd41 -cp41 -d20 -fca/-nfca -fc1/-nfc1 -sc/-nsc -cdb/-ncdb -lc74…-lc120");
    case Kind::Other:
        return {};
    }
    return {};
}
