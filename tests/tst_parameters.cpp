#include <utility>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTextDocumentFragment>

#include "app/mainwindow.h"
#include "cli/options.h"
#include "core/parameters.h"
#include "dialogs/userguide.h"
#include "guitestsupport.h"

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

QString rangeText(const Parameter &parameter)
{
    return QStringLiteral("%1..%2").arg(parameter.minimum).arg(parameter.maximum);
}

const Parameter *parameterWithOption(const QString &option)
{
    for (const Parameter &parameter : tolvane::parameters::table) {
        if (option == QLatin1StringView(parameter.option))
            return &parameter;
    }
    return nullptr;
}

// A command line of `command` that is complete but for `parameter` given as `value`.
QStringList commandLineWith(const Parameter &parameter, int value)
{
    const QString option = QLatin1StringView(parameter.option) + u'=' + QString::number(value);
    if (&parameter == &tolvane::parameters::wirePadding)
        return {"remove", "in.jpg", "--mask", "mask.png", "-o", "out.jpg", option};
    return {"detect", "in.jpg", "-o", "mask.png", option};
}

} // namespace

// The parameters' labels, ranges and defaults everywhere they show, against core/parameters.h:
// the window's number boxes, tolvane-cli's parser, its manual page, the user guide and the
// README.
class TestParameters : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase() { useTemporarySettings(m_settingsDir); }

    // Each box offers its parameter's range beside its label, and Open sets it to the default.
    void window()
    {
        QTemporaryDir dir;
        FakePrompts prompts;
        MainWindow window;
        const struct
        {
            const char *box;
            const char *label;
            const Parameter &parameter;
        } boxes[] = {{"spinBox", "label", tolvane::parameters::widthThreshold},
            {"spinBox_2", "label_2", tolvane::parameters::lengthThreshold},
            {"padspinbox", "label_3", tolvane::parameters::wirePadding}};

        for (const auto &[name, labelName, parameter] : boxes) {
            auto *box = window.findChild<QSpinBox *>(name);
            auto *label = window.findChild<QLabel *>(labelName);
            QVERIFY2(box && label, name);
            QCOMPARE(box->minimum(), parameter.minimum);
            QCOMPARE(box->maximum(), parameter.maximum);
            QCOMPARE(QTextDocumentFragment::fromHtml(label->text()).toPlainText(),
                QString::fromUtf8(parameter.label));
            box->setValue(
                parameter.defaultValue == box->maximum() ? box->minimum() : box->maximum());
        }

        prompts.openAnswers << writePhoto(dir, "photo.png", patternPhoto(40, 30));
        window.findChild<QAction *>("actionOpen")->trigger();
        for (const auto &[name, labelName, parameter] : boxes)
            QCOMPARE(window.findChild<QSpinBox *>(name)->value(), parameter.defaultValue);
    }

    // tolvane-cli starts from the defaults and takes exactly the range, both ends included.
    void commandLine()
    {
        const tolvane::CliOptions options;
        QCOMPARE(options.widthThreshold, tolvane::parameters::widthThreshold.defaultValue);
        QCOMPARE(options.lengthThreshold, tolvane::parameters::lengthThreshold.defaultValue);
        QCOMPARE(options.wirePadding, tolvane::parameters::wirePadding.defaultValue);

        const std::pair<const Parameter &, int tolvane::CliOptions::*> fields[]
            = {{tolvane::parameters::widthThreshold, &tolvane::CliOptions::widthThreshold},
                {tolvane::parameters::lengthThreshold, &tolvane::CliOptions::lengthThreshold},
                {tolvane::parameters::wirePadding, &tolvane::CliOptions::wirePadding}};
        for (const auto &[parameter, field] : fields) {
            for (int value : {parameter.minimum, parameter.maximum}) {
                const tolvane::ParsedCommandLine parsed
                    = tolvane::parseCommandLine(commandLineWith(parameter, value));
                QCOMPARE(parsed.error, QString());
                QCOMPARE(parsed.options.*field, value);
            }
            for (int value : {parameter.minimum - 1, parameter.maximum + 1}) {
                QCOMPARE(tolvane::parseCommandLine(commandLineWith(parameter, value)).error,
                    QStringLiteral("%1: %2 is out of range %3")
                        .arg(QLatin1StringView(parameter.option))
                        .arg(value)
                        .arg(rangeText(parameter)));
            }
        }
    }

    // Every option's paragraph states its range and default; every example of an error about a
    // parameter's range names that range and a value outside it.
    void manualPage()
    {
        const QString manual = sourceFile("resources/tolvane-cli.1").remove(u'\\');
        for (const Parameter &parameter : tolvane::parameters::table) {
            // .BI --padding " P", then a line ending in "(0..99, default 0)."
            const QRegularExpression paragraph(
                QRegularExpression::escape(QStringLiteral(".BI %1 \" %2\"\n")
                                               .arg(QLatin1StringView(parameter.option))
                                               .arg(QLatin1Char(parameter.metavariable)))
                + R"([^\n]*\((\d+)\.\.(\d+), default (\d+)\)\.\n)");
            const QRegularExpressionMatch match = paragraph.match(manual);
            QVERIFY2(match.hasMatch(), parameter.option);
            QCOMPARE(match.captured(1).toInt(), parameter.minimum);
            QCOMPARE(match.captured(2).toInt(), parameter.maximum);
            QCOMPARE(match.captured(3).toInt(), parameter.defaultValue);
        }

        const QRegularExpression outOfRange(R"((--[a-z-]+): (-?\d+) is out of range (\d+\.\.\d+))");
        int examples = 0;
        for (const QRegularExpressionMatch &match : outOfRange.globalMatch(manual)) {
            const Parameter *parameter = parameterWithOption(match.captured(1));
            if (!parameter)
                continue;
            ++examples;
            QCOMPARE(match.captured(3), rangeText(*parameter));
            const int value = match.captured(2).toInt();
            QVERIFY2(value < parameter->minimum || value > parameter->maximum,
                qPrintable(match.captured()));
        }
        QVERIFY(examples > 0);
    }

    // The guide names each parameter as the window does (in its own capitals) and gives the
    // defaults; the width threshold's default comes with the thickest wire it finds.
    void userGuide()
    {
        const QString guide = QTextDocumentFragment::fromHtml(userGuideHtml).toPlainText();
        for (const Parameter &parameter : tolvane::parameters::table) {
            const QRegularExpression heading(
                u'^' + QRegularExpression::escape(QString::fromUtf8(parameter.label)) + u':',
                QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
            QVERIFY2(heading.match(guide).hasMatch(), parameter.label);
        }

        const QRegularExpressionMatch reset
            = QRegularExpression(R"(go back to (\d+), (\d+) and (\d+)\.)").match(guide);
        QVERIFY(reset.hasMatch());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(reset.captured(i + 1).toInt(), tolvane::parameters::table[i].defaultValue);

        const QRegularExpressionMatch width
            = QRegularExpression(R"(the default (\d+) finds wires up to (\d+) pixels thick)")
                  .match(guide);
        QVERIFY(width.hasMatch());
        QCOMPARE(width.captured(1).toInt(), tolvane::parameters::widthThreshold.defaultValue);
        QCOMPARE(width.captured(2).toInt(), tolvane::parameters::widthThreshold.defaultValue - 1);
    }

    // The README names each parameter as the window does; the defaults it states are the table's.
    void readme()
    {
        const QString readme = sourceFile("README.md");
        for (const Parameter &parameter : tolvane::parameters::table) {
            const QString name = u'*' + QString::fromUtf8(parameter.label) + u'*';
            QVERIFY2(readme.contains(name), parameter.label);
        }

        const QRegularExpression stated(R"(\*([^*\n]+)\*[^\n]*\(default (\d+)\))");
        int defaults = 0;
        for (const QRegularExpressionMatch &match : stated.globalMatch(readme)) {
            for (const Parameter &parameter : tolvane::parameters::table) {
                if (match.captured(1) == QLatin1StringView(parameter.label)) {
                    ++defaults;
                    QCOMPARE(match.captured(2).toInt(), parameter.defaultValue);
                }
            }
        }
        QVERIFY(defaults > 0);
    }
};

QTEST_MAIN(TestParameters)

#include "tst_parameters.moc"
