#include <utility>

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include "cli/options.h"
#include "core/parameters.h"

using tolvane::parameters::Parameter;

// tolvane-cli's manual page, against core/parameters.h and --help: every parameter's option,
// range and default as the program has them, and every option that --help names.
class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void manualPage_data()
    {
        QTest::addColumn<QString>("pattern"); // found for every parameter
        // .BI --padding " P", then a line ending in "(0..99, default 0).".
        QTest::newRow("range and default")
            << R"(^\.BI {option} " {metavariable}"\n[^\n]*\({minimum}\.\.{maximum}, default {default}\)\.$)";
        const QRegularExpression option("(?<![\\w-])--?[a-z][a-z-]*");
        QStringList options;
        using tolvane::CliCommand;
        for (CliCommand topic : {CliCommand::Help, CliCommand::Detect, CliCommand::Remove,
                 CliCommand::Trace, CliCommand::Clean})
            for (const QRegularExpressionMatch &match : option.globalMatch(helpText(topic)))
                options << match.captured();
        options.removeDuplicates();
        for (const QString &name : options)
            QTest::addRow("names %s", qPrintable(name)) << QRegularExpression::escape(name);
    }

    void manualPage()
    {
        QFETCH(QString, pattern);
        QFile file(qEnvironmentVariable("TOLVANE_SOURCE_DIR") + "/resources/tolvane-cli.1");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString manual = QString::fromUtf8(file.readAll()).remove(u'\\');
        for (const Parameter &parameter : tolvane::parameters::table) {
            // Each field taken literally.
            QString filled = pattern;
            for (const auto &[name, value] : {std::pair("{option}", QString(parameter.option)),
                     {"{metavariable}", QString(QChar(parameter.metavariable))},
                     {"{minimum}", QString::number(parameter.minimum)},
                     {"{maximum}", QString::number(parameter.maximum)},
                     {"{default}", QString::number(parameter.defaultValue)}})
                filled.replace(QLatin1String(name), QRegularExpression::escape(value));
            const QRegularExpression expression(filled, QRegularExpression::MultilineOption);
            QVERIFY2(expression.match(manual).hasMatch(), parameter.option);
        }
    }
};

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
