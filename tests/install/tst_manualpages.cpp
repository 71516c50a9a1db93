// The manual pages help2man makes from the programs' --help: options under OPTIONS, exit statuses
// under EXIT STATUS, files under FILES, in the order man-pages(7) gives.
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

// The page's sections by heading, their roff source with "\-" read as "-".
QList<std::pair<QString, QString>> sectionsOf(const QString &program)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"),
               {QStringLiteral("-dc"), QStringLiteral(ZABO_MAN_DIR "/%1.1.gz").arg(program)});
    if (!gzip.waitForFinished(60000) || gzip.exitCode() != 0)
        return {};
    QString page = QString::fromUtf8(gzip.readAllStandardOutput());
    page.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    QList<std::pair<QString, QString>> sections;
    for (const QString &line : page.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral(".SH ")))
            sections.append({line.mid(4).remove(QLatin1Char('"')), QString()});
        else if (!sections.isEmpty())
            sections.last().second += line + QLatin1Char('\n');
    }
    return sections;
}

QString section(const QList<std::pair<QString, QString>> &sections, const QString &heading)
{
    for (const auto &[name, text] : sections) {
        if (name == heading)
            return text;
    }
    return QString();
}

} // namespace

class TestManualPages : public QObject
{
    Q_OBJECT

private slots:
    void sections_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("headings");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("files");
        const QStringList programs = QStringLiteral(ZABO_MANUAL_PROGRAMS).split(QLatin1Char(','));
        if (programs.contains(QStringLiteral("zabo")))
            QTest::newRow("zabo") << QStringLiteral("zabo")
                                  << QStringList{"NAME",  "SYNOPSIS",       "DESCRIPTION", "OPTIONS",
                                                 "FILES", "REPORTING BUGS", "COPYRIGHT",   "SEE ALSO"}
                                  << QStringList{"--help", "--version"}
                                  << QStringList{"~/.config/zabo/Zabocfg.dat", "FormatFile<date>-<time>"};
        if (programs.contains(QStringLiteral("zabo-format")))
            QTest::newRow("zabo-format")
                << QStringLiteral("zabo-format")
                << QStringList{"NAME",        "SYNOPSIS", "DESCRIPTION",    "OPTIONS",
                               "EXIT STATUS", "FILES",    "REPORTING BUGS", "SEE ALSO"}
                << QStringList{"--check", "--in-place",        "--output",     "--style",
                               "-r",      "--exclude",         "--stdin-name", "--lines",
                               "--since", "--force-read-only", "--help",       "--version"}
                << QStringList{"Zabocfg.dat", ".indent.pro", ".zaboignore"};
    }

    void sections()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, headings);
        QFETCH(QStringList, options);
        QFETCH(QStringList, files);
        const QList<std::pair<QString, QString>> found = sectionsOf(program);
        QStringList names;
        for (const auto &entry : found)
            names.append(entry.first);
        QCOMPARE(names, headings);

        // each option is described (a tagged paragraph) under OPTIONS and nowhere else
        static const QRegularExpression tag(QStringLiteral("^\\.TP\\n\\\\fB(-[^\\\\ ,]*)"),
                                            QRegularExpression::MultilineOption);
        for (const auto &[name, text] : found) {
            for (auto match = tag.globalMatch(text); match.hasNext();) {
                const QString option = match.next().captured(1);
                QVERIFY2(name == QStringLiteral("OPTIONS"), qPrintable(option + " under " + name));
            }
        }
        const QString optionText = section(found, QStringLiteral("OPTIONS"));
        for (const QString &option : options) {
            const QRegularExpression described(
                QStringLiteral("\\\\fB%1\\\\fR").arg(QRegularExpression::escape(option)));
            QVERIFY2(optionText.contains(described), qPrintable(option));
        }
        QVERIFY(!optionText.contains(QStringLiteral("--help-all")));

        const QString fileText = section(found, QStringLiteral("FILES"));
        for (const QString &file : files)
            QVERIFY2(fileText.contains(file), qPrintable(file));

        if (headings.contains(QStringLiteral("EXIT STATUS"))) {
            QStringList statuses;
            static const QRegularExpression status(QStringLiteral("^\\.TP\\n([0-9]+)$"),
                                                   QRegularExpression::MultilineOption);
            for (auto match = status.globalMatch(section(found, QStringLiteral("EXIT STATUS")));
                 match.hasNext();)
                statuses.append(match.next().captured(1));
            QCOMPARE(statuses, (QStringList{"0", "1", "2", "130"}));
        }
    }
};

QTEST_GUILESS_MAIN(TestManualPages)
#include "tst_manualpages.moc"
