#include "cli/options.h"

#include <limits>
#include <optional>

#include <QRegularExpression>

namespace tolvane {

namespace {

using parameters::Parameter;

constexpr unsigned bit(CliCommand command)
{
    return 1u << unsigned(command);
}

constexpr unsigned everyCommand = bit(CliCommand::Detect) | bit(CliCommand::Remove)
    | bit(CliCommand::Trace) | bit(CliCommand::Clean);

enum class Kind { Flag, Integer, Text, Points };

struct OptionSpec
{
    QLatin1StringView name;
    Kind kind;
    unsigned commands; // bits of the commands that take it
    int minimum = 0;
    int maximum = 0;
    int CliOptions::*integer = nullptr; // where an Integer's value goes
};

constexpr int unbounded = std::numeric_limits<int>::max();

OptionSpec parameterOption(const Parameter &parameter, unsigned commands, int CliOptions::*integer)
{
    return {QLatin1StringView(parameter.option), Kind::Integer, commands, parameter.minimum,
        parameter.maximum, integer};
}

const OptionSpec optionSpecs[] = {
    {QLatin1StringView("-o"), Kind::Text, everyCommand},
    {QLatin1StringView("--mask"), Kind::Text, bit(CliCommand::Remove)},
    {QLatin1StringView("--points"), Kind::Points, bit(CliCommand::Trace)},
    {QLatin1StringView("--out-dir"), Kind::Text, bit(CliCommand::Clean)},
    parameterOption(parameters::widthThreshold, bit(CliCommand::Detect) | bit(CliCommand::Clean),
        &CliOptions::widthThreshold),
    parameterOption(parameters::lengthThreshold, bit(CliCommand::Detect) | bit(CliCommand::Clean),
        &CliOptions::lengthThreshold),
    parameterOption(parameters::wirePadding, bit(CliCommand::Remove) | bit(CliCommand::Clean),
        &CliOptions::wirePadding),
    parameterOption(parameters::wireLength, bit(CliCommand::Detect) | bit(CliCommand::Clean),
        &CliOptions::wireLength),
    {QLatin1StringView("--detector"), Kind::Text, bit(CliCommand::Detect) | bit(CliCommand::Clean)},
    {QLatin1StringView("--fill"), Kind::Text, bit(CliCommand::Remove) | bit(CliCommand::Clean)},
    {QLatin1StringView("--jobs"), Kind::Integer, bit(CliCommand::Clean), 1, unbounded,
        &CliOptions::jobs},
    {QLatin1StringView("--overwrite"), Kind::Flag, bit(CliCommand::Clean)},
    {QLatin1StringView("--timings"), Kind::Flag, everyCommand},
    {QLatin1StringView("--accept-damaged"), Kind::Flag, everyCommand},
};

const OptionSpec *findOption(const QString &name)
{
    for (const OptionSpec &option : optionSpecs) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

std::optional<CliCommand> commandNamed(const QString &name)
{
    if (name == u"detect")
        return CliCommand::Detect;
    if (name == u"remove")
        return CliCommand::Remove;
    if (name == u"trace")
        return CliCommand::Trace;
    if (name == u"clean")
        return CliCommand::Clean;
    return std::nullopt;
}

QString commandName(CliCommand command)
{
    switch (command) {
    case CliCommand::Detect:
        return QStringLiteral("detect");
    case CliCommand::Remove:
        return QStringLiteral("remove");
    case CliCommand::Trace:
        return QStringLiteral("trace");
    case CliCommand::Clean:
        return QStringLiteral("clean");
    case CliCommand::Help:
    case CliCommand::Version:
        break;
    }
    return {};
}

QString shown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("\"\"") : value;
}

// Anything from the characters a point is written with, and a comma: taken as one more point
// after --points (and rejected when malformed) rather than as an input file.
bool looksLikePoint(const QString &argument)
{
    static const QRegularExpression pattern(QStringLiteral("^[-+0-9., ]*,[-+0-9., ]*$"));
    return pattern.match(argument).hasMatch();
}

std::optional<QPoint> parsePoint(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([-+]?[0-9]+),([-+]?[0-9]+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool xOk = false;
    bool yOk = false;
    const int x = match.captured(1).toInt(&xOk);
    const int y = match.captured(2).toInt(&yOk);
    if (!xOk || !yOk)
        return std::nullopt;
    return QPoint(x, y);
}

class Parser
{
public:
    Parser(const QStringList &arguments, CliOptions &options)
        : m_arguments(arguments)
        , m_options(options)
    { }

    // Returns the usage error, or an empty string.
    QString parse();

private:
    QString parseCommandArguments();
    QString parseOption(const QString &argument, int &index);
    QString parseInteger(const OptionSpec &option, const QString &value);
    QString parsePoints(const std::optional<QString> &inlineValue, int &index);
    QString checkComplete() const;

    const QStringList &m_arguments;
    CliOptions &m_options;
    QStringList m_seen;
};

QString Parser::parse()
{
    if (m_arguments.isEmpty())
        return QStringLiteral("no command given (try 'tolvane-cli --help')");

    const QString &first = m_arguments.first();
    if (first == u"--help") {
        m_options.command = CliCommand::Help;
        if (m_arguments.size() == 1)
            return {};
        const std::optional<CliCommand> topic = commandNamed(m_arguments.at(1));
        if (topic && m_arguments.size() == 2) {
            m_options.helpTopic = *topic;
            return {};
        }
        return m_arguments.at(topic ? 2 : 1) + QStringLiteral(": unexpected argument after --help");
    }
    if (first == u"--version") {
        m_options.command = CliCommand::Version;
        if (m_arguments.size() == 1)
            return {};
        return m_arguments.at(1) + QStringLiteral(": unexpected argument after --version");
    }

    const std::optional<CliCommand> command = commandNamed(first);
    if (!command) {
        if (first.startsWith(u'-'))
            return first + QStringLiteral(": a command must come first (try 'tolvane-cli --help')");
        return first + QStringLiteral(": unknown command (try 'tolvane-cli --help')");
    }
    m_options.command = *command;

    const int end = m_arguments.indexOf(QStringLiteral("--"));
    const QStringList options = m_arguments.mid(0, end < 0 ? m_arguments.size() : end);
    if (options.contains(QStringLiteral("--help"))) {
        m_options.command = CliCommand::Help;
        m_options.helpTopic = *command;
        return {};
    }

    const QString error = parseCommandArguments();
    if (!error.isEmpty())
        return error;
    return checkComplete();
}

QString Parser::parseCommandArguments()
{
    bool optionsEnded = false;
    for (int i = 1; i < m_arguments.size(); ++i) {
        const QString &argument = m_arguments.at(i);
        if (!optionsEnded && argument == u"--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.size() > 1 && argument.startsWith(u'-')) {
            const QString error = parseOption(argument, i);
            if (!error.isEmpty())
                return error;
        } else {
            m_options.inputs.append(argument);
        }
    }
    return {};
}

QString Parser::parseOption(const QString &argument, int &index)
{
    const qsizetype equals = argument.indexOf(u'=');
    const QString name = equals > 0 ? argument.left(equals) : argument;
    std::optional<QString> inlineValue;
    if (equals > 0)
        inlineValue = argument.mid(equals + 1);

    const OptionSpec *option = findOption(name);
    if (!option)
        return name + QStringLiteral(": unknown option");
    if (!(option->commands & bit(m_options.command)))
        return name + QStringLiteral(": not an option of ") + commandName(m_options.command);

    if (option->kind == Kind::Flag) {
        if (inlineValue)
            return name + QStringLiteral(": takes no value");
        if (name == u"--overwrite")
            m_options.overwrite = true;
        else if (name == u"--accept-damaged")
            m_options.acceptDamaged = true;
        else
            m_options.timings = true;
        return {};
    }

    if (m_seen.contains(name))
        return name + QStringLiteral(": given more than once");
    m_seen.append(name);

    if (option->kind == Kind::Points)
        return parsePoints(inlineValue, index);

    QString value;
    if (inlineValue) {
        value = *inlineValue;
    } else if (index + 1 < m_arguments.size() && !m_arguments.at(index + 1).startsWith(u"--")) {
        value = m_arguments.at(++index);
    } else {
        return name + QStringLiteral(": missing value");
    }

    if (option->kind == Kind::Integer)
        return parseInteger(*option, value);

    if (value.isEmpty())
        return name + QStringLiteral(": missing value");
    if (name == u"--fill") {
        if (value == u"mirror")
            m_options.fill = FillMode::Mirror;
        else if (value == u"seamless")
            m_options.fill = FillMode::Seamless;
        else
            return name + QStringLiteral(": ") + value
                + QStringLiteral(" is not mirror or seamless");
        return {};
    }
    if (name == u"--detector") {
        if (value == u"classic")
            m_options.detector = CliDetector::Classic;
        else if (value == u"precise")
            m_options.detector = CliDetector::Precise;
        else
            return name + QStringLiteral(": ") + value
                + QStringLiteral(" is not a detector (classic or precise)");
    } else if (name == u"-o")
        m_options.output = value;
    else if (name == u"--mask")
        m_options.mask = value;
    else
        m_options.outDir = value;
    return {};
}

QString Parser::parseInteger(const OptionSpec &option, const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^[-+]?[0-9]+$"));
    if (!pattern.match(value).hasMatch())
        return option.name + QStringLiteral(": ") + shown(value)
            + QStringLiteral(" is not an integer");

    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < option.minimum || number > option.maximum) {
        const QString range = option.maximum == unbounded
            ? QStringLiteral("(at least %1)").arg(option.minimum)
            : QStringLiteral("%1..%2").arg(option.minimum).arg(option.maximum);
        return option.name + QStringLiteral(": ") + value + QStringLiteral(" is out of range ")
            + range;
    }

    m_options.*option.integer = int(number);
    return {};
}

QString Parser::parsePoints(const std::optional<QString> &inlineValue, int &index)
{
    QStringList texts;
    if (inlineValue)
        texts.append(*inlineValue);
    while (index + 1 < m_arguments.size() && looksLikePoint(m_arguments.at(index + 1)))
        texts.append(m_arguments.at(++index));
    if (texts.isEmpty())
        return QStringLiteral("--points: missing value (points are written X,Y)");

    for (const QString &text : texts) {
        const std::optional<QPoint> point = parsePoint(text);
        if (!point) {
            return QStringLiteral("--points: ") + shown(text)
                + QStringLiteral(" is not a point X,Y of two integers");
        }
        m_options.points.append(*point);
    }
    return {};
}

QString Parser::checkComplete() const
{
    const CliCommand command = m_options.command;
    const QString name = commandName(command);
    const QStringList &inputs = m_options.inputs;

    if (inputs.isEmpty())
        return name + QStringLiteral(": INPUT is missing");
    if (command != CliCommand::Clean && inputs.size() > 1) {
        return inputs.at(1) + QStringLiteral(": unexpected argument (") + name
            + QStringLiteral(" takes one INPUT)");
    }

    switch (command) {
    case CliCommand::Remove:
        if (m_options.mask.isEmpty())
            return QStringLiteral("--mask: missing (remove needs --mask MASK)");
        break;
    case CliCommand::Trace:
        if (m_options.points.isEmpty())
            return QStringLiteral("--points: missing (trace needs --points X,Y X,Y ...)");
        if (m_options.points.size() < 2)
            return QStringLiteral("--points: at least two points are needed");
        break;
    case CliCommand::Clean:
        if (!m_options.output.isEmpty() && !m_options.outDir.isEmpty())
            return QStringLiteral("-o: cannot be combined with --out-dir");
        if (m_options.output.isEmpty() && m_options.outDir.isEmpty())
            return QStringLiteral("-o: missing (clean needs -o OUTPUT or --out-dir DIR)");
        if (!m_options.output.isEmpty() && inputs.size() > 1) {
            return QStringLiteral("-o: clean with several inputs writes into --out-dir DIR, "
                                  "not to one OUTPUT");
        }
        return {};
    default:
        break;
    }

    if (m_options.output.isEmpty())
        return QStringLiteral("-o: missing (") + name + QStringLiteral(" needs -o)");
    const bool writesMask = command == CliCommand::Detect || command == CliCommand::Trace;
    if (writesMask && !m_options.output.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        return QStringLiteral("-o: ") + m_options.output
            + QStringLiteral(": a mask is written as PNG; give a name ending in .png");
    }
    return {};
}

// The help texts. A %n stands for a parameter's "--option M" or for its line under Options, in
// the order helpText() passes them.
const char generalHelp[] = R"(Usage: tolvane-cli COMMAND [OPTIONS]
       tolvane-cli COMMAND --help
       tolvane-cli --help | --version

Removes overhead wires from photos with the tools of the Tolvane desktop program, with the
same results pixel for pixel.

Commands:
  detect INPUT -o MASK [%1] [%2]
        [--detector D] [%4]
      Find the wires automatically (Select) and write the wire mask.
  remove INPUT --mask MASK -o OUTPUT [%3] [--fill F]
      Remove the wires that MASK marks (Process) and write the cleaned photo.
  trace INPUT --points X,Y X,Y [X,Y ...] -o MASK
      Trace a wire through the given points (SmartSelect clicks) and write the wire mask.
  clean INPUT... (-o OUTPUT | --out-dir DIR) [%1] [%2]
        [%3] [--detector D] [%4] [--fill F] [--jobs N] [--overwrite]
      Detect and remove the wires of one photo or of many, in parallel.

Every command also takes --timings: one extra line on standard error with the time of each
stage; and --accept-damaged: a damaged photo (a JPEG cut short) is read as far as it goes
instead of failing with status 2. 'tolvane-cli COMMAND --help' describes a command and its
options.

Exit status: 0 success; 1 usage error; 2 a file could not be read or written, or memory ran
out; 3 trace committed no segment; 130 stopped by SIGINT or SIGTERM.
)";

const char detectHelp[] = R"(Usage: tolvane-cli detect INPUT -o MASK [%1] [%2]
                          [--detector D] [%5] [--timings]

Opens the photo INPUT, finds its wires as Select does and writes the wire mask MASK: a 32-bit
ARGB PNG of the photo's size, 0x96FF0000 on every marked pixel and 0x00000000 elsewhere.

Options:
  -o MASK                 the mask file to write; its name must end in .png
%3
%4
  --detector D            classic (default): the band scan of Select; precise: thin wires at
                          any angle with their fringe, T the widest wire in pixels across it
%6
  --timings               print the time of each stage on standard error
  --accept-damaged        read a damaged photo (a JPEG cut short) as far as it goes
  --help                  show this text
)";

const char removeHelp[] = R"(Usage: tolvane-cli remove INPUT --mask MASK -o OUTPUT [%1]
                          [--fill F] [--timings]

Opens the photo INPUT, removes the wires that MASK marks as Process does and writes the
cleaned photo OUTPUT in the format its suffix names (quality 100). MASK may be any image
of the photo's size; a pixel is marked when its alpha is not 0.

Options:
  --mask MASK             the wire mask to read
  -o OUTPUT               the cleaned photo to write (.jpg, .png, ...)
%2
  --fill F                the fill: mirror (default), clean rows of the column mirrored
                          over the marks; or seamless, a smooth fill from the marks' edges
                          with the fine texture of the photo beside them, on the marked
                          pixels and a faint fringe beside them (Wire padding is not
                          applied)
  --timings               print the time of each stage on standard error
  --accept-damaged        read a damaged photo (a JPEG cut short) as far as it goes
  --help                  show this text
)";

const char traceHelp[]
    = R"(Usage: tolvane-cli trace INPUT --points X,Y X,Y [X,Y ...] -o MASK [--timings]

Opens the photo INPUT and clicks the SmartSelect tool at the given photo pixels, left to
right on the command line: the first point is the control point; each later point is traced
from the control point and, when a route is found, committed to the mask and made the new
control point. A point more than 500 pixels (|dx| + |dy|) from the control point, or with no
thin route of dark pixels to it, is skipped. Writes the wire mask MASK: a 32-bit ARGB PNG of the
photo's size, 0xFFFFFF00 on every traced pixel and 0x00000000 elsewhere. When no segment is
committed, nothing is written and the exit status is 3.

Options:
  --points X,Y X,Y ...    at least two points inside the photo, x from 0 at the left and
                          y from 0 at the top
  -o MASK                 the mask file to write; its name must end in .png
  --timings               print the time of each stage on standard error
  --accept-damaged        read a damaged photo (a JPEG cut short) as far as it goes
  --help                  show this text
)";

const char cleanHelp[] = R"(Usage: tolvane-cli clean INPUT... (-o OUTPUT | --out-dir DIR) [%1]
                         [%2] [%3] [--detector D] [%7]
                         [--fill F] [--jobs N] [--overwrite] [--timings]

For every photo INPUT: opens it, finds its wires (detect), removes them (remove) and writes
the cleaned photo, to OUTPUT (one input only) or to DIR under the input's file name. Photos
are processed in parallel; one line per written photo goes to standard error. An input
photo is never overwritten, and an existing output only with --overwrite; such a photo,
and one that cannot be read or written, is reported and skipped while the others go on
(exit status 2).

Options:
  -o OUTPUT               the cleaned photo to write, for a single INPUT
  --out-dir DIR           the folder to write into (made when missing)
%4
%5
%6
  --detector D            classic (default): the band scan of Select; precise: thin wires at
                          any angle with their fringe, T the widest wire in pixels across it
%8
  --fill F                the fill: mirror (default), clean rows of the column mirrored
                          over the marks; or seamless, a smooth fill from the marks' edges
                          with the fine texture of the photo beside them, on the marked
                          pixels and a faint fringe beside them (Wire padding is not
                          applied)
  --jobs N                photos processed at once (at least 1, default: number of cores)
  --overwrite             replace existing outputs
  --timings               print the time of each stage (summed over the photos) on
                          standard error
  --accept-damaged        read a damaged photo (a JPEG cut short) as far as it goes
  --help                  show this text
)";

// "--padding P".
QString usage(const Parameter &parameter)
{
    return QLatin1StringView(parameter.option) + u' ' + QLatin1Char(parameter.metavariable);
}

// A parameter's line under Options: "  --padding P", then `text` from the column where every
// option's description starts, then the range and default. These go on a line of their own,
// at the same column, when the line would run past the width of the help texts.
QString optionLine(const Parameter &parameter, const char *text)
{
    constexpr qsizetype column = 26;
    constexpr qsizetype width = 96;
    const QString start = (QStringLiteral("  ") + usage(parameter)).leftJustified(column - 1) + u' '
        + QString::fromUtf8(text);
    const QString range = QStringLiteral("(%1..%2, default %3)")
                              .arg(parameter.minimum)
                              .arg(parameter.maximum)
                              .arg(parameter.defaultValue);
    if (start.size() + 1 + range.size() > width)
        return start + u'\n' + QString(column, u' ') + range;
    return start + u' ' + range;
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine result;
    result.error = Parser(arguments, result.options).parse();
    return result;
}

QString helpText(CliCommand topic)
{
    using parameters::lengthThreshold;
    using parameters::widthThreshold;
    using parameters::wireLength;
    using parameters::wirePadding;
    switch (topic) {
    case CliCommand::Detect:
        return QString::fromUtf8(detectHelp)
            .arg(usage(widthThreshold), usage(lengthThreshold),
                optionLine(widthThreshold, widthThreshold.help),
                optionLine(lengthThreshold, lengthThreshold.help), usage(wireLength),
                optionLine(wireLength, wireLength.help));
    case CliCommand::Remove:
        return QString::fromUtf8(removeHelp)
            .arg(usage(wirePadding), optionLine(wirePadding, wirePadding.help));
    case CliCommand::Trace:
        return QString::fromUtf8(traceHelp);
    case CliCommand::Clean:
        // Wire padding goes by its name alone here, on one line like the others.
        return QString::fromUtf8(cleanHelp).arg(usage(widthThreshold), usage(lengthThreshold),
            usage(wirePadding), optionLine(widthThreshold, widthThreshold.help),
            optionLine(lengthThreshold, lengthThreshold.help),
            optionLine(wirePadding, wirePadding.label), usage(wireLength),
            optionLine(wireLength, wireLength.help));
    case CliCommand::Help:
    case CliCommand::Version:
        break;
    }
    return QString::fromUtf8(generalHelp)
        .arg(usage(widthThreshold), usage(lengthThreshold), usage(wirePadding), usage(wireLength));
}

QString versionText()
{
    return QStringLiteral("tolvane-cli " TOLVANE_VERSION);
}

} // namespace tolvane
