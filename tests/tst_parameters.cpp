#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocumentFragment>

#include "cli/options.h"
#include "core/parameters.h"
#include "datatable.h"
#include "dialogs/userguide.h"

using tolvane::parameters::Parameter;

namespace {

// A file of the source tree, as text.
QString sourceFile(const QString &path)
{
    QFile file(qEnvironmentVariable("TOLVANE_SOURCE_DIR") + u'/' + path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    return QString::fromUtf8(file.readAll());
}

// `pattern` with {label}, {option}, {metavariable}, {minimum}, {maximum} and {default} standing
// for those of `parameter`, each taken literally.
QRegularExpression patternFor(QString pattern, const Parameter &parameter)
{
    const std::pair<const char *, QString> fields[] = {{"{label}", parameter.label},
        {"{option}", parameter.option}, {"{metavariable}", QString(QChar(parameter.metavariable))},
        {"{minimum}", QString::number(parameter.minimum)},
        {"{maximum}", QString::number(parameter.maximum)},
        {"{default}", QString::number(parameter.defaultValue)}};
    for (const auto &[name, value] : fields)
        pattern.replace(QLatin1String(name), QRegularExpression::escape(value));
    return QRegularExpression(pattern, QRegularExpression::MultilineOption);
}

} // namespace

// The parameters' names, ranges and defaults in tolvane-cli's manual page, the user guide and
// the README, against core/parameters.h; and the manual page names every option of --help.
class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void documents_data()
    {
        addColumns<QString, QString, bool>(); // text, pattern for every parameter, found
        const QString manual = sourceFile("resources/tolvane-cli.1").remove(u'\\');
        const QString guide = QTextDocumentFragment::fromHtml(userGuideHtml).toPlainText();
        const QString readme = sourceFile("README.md");
        auto row = [](const char *name, const QString &text, const char *pattern, bool found) {
            QTest::newRow(name) << text << QString(pattern) << found;
        };
        // .BI --padding " P", then a line ending in "(0..99, default 0).".
        row("manual: range and default", manual,
            R"(^\.BI {option} " {metavariable}"\n[^\n]*\({minimum}\.\.{maximum}, default {default}\)\.$)",
            true);
        row("guide: heading in the window's words", guide, "(?i)^{label}:", true);
        const auto &[width, length, padding] = tolvane::parameters::table;
        const QString reset = QString::asprintf("go back to %d, %d and %d\\.", width.defaultValue,
            length.defaultValue, padding.defaultValue);
        QTest::newRow("guide: defaults on Open") << guide << reset << true;
        row("README: its defaults", readme, R"(\*{label}\*[^\n]*\(default (?!{default}\)))", false);
        const QRegularExpression option("(?<![\\w-])--?[a-z][a-z-]*");
        QStringList options;
        for (tolvane::CliCommand topic :
            {tolvane::CliCommand::Help, tolvane::CliCommand::Detect, tolvane::CliCommand::Remove,
                tolvane::CliCommand::Trace, tolvane::CliCommand::Clean})
            for (const QRegularExpressionMatch &match : option.globalMatch(helpText(topic)))
                options << match.captured();
        options.removeDuplicates();
        for (const QString &name : options)
            QTest::addRow("manual names %s", qPrintable(name))
                << manual << QRegularExpression::escape(name) << true;
    }

    void documents()
    {
        const auto [text, pattern, found] = fetchRow<QString, QString, bool>();
        for (const Parameter &parameter : tolvane::parameters::table) {
            const QRegularExpression expression = patternFor(pattern, parameter);
            QVERIFY2(expression.isValid(), qPrintable(expression.errorString()));
            QVERIFY2(expression.match(text).hasMatch() == found, parameter.label);
        }
    }
};

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
