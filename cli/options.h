#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "core/parameters.h"
#include "removal/seamlessfill.h"

namespace tolvane {

enum class CliCommand { Help, Version, Detect, Remove, Trace, Clean };

// --detector: the band scan (classic, the default) or the line search (precise).
enum class CliDetector { Classic, Precise };

// A tolvane-cli command line, checked for everything that can be checked without opening a
// file. Numbers are within their ranges; the fields a command does not take keep their defaults.
struct CliOptions
{
    CliCommand command = CliCommand::Help;
    // With command Help: the command whose help is asked for, or Help for the general text.
    CliCommand helpTopic = CliCommand::Help;
    QStringList inputs;
    QString output; // -o
    QString outDir; // --out-dir
    QString mask; // --mask
    QList<QPoint> points; // --points, in the order given
    int widthThreshold = parameters::widthThreshold.defaultValue;
    int lengthThreshold = parameters::lengthThreshold.defaultValue;
    int wirePadding = parameters::wirePadding.defaultValue;
    int wireLength = parameters::wireLength.defaultValue;
    CliDetector detector = CliDetector::Classic;
    FillMode fill = FillMode::Mirror; // --fill
    int jobs = 0; // 0: one worker per core
    bool overwrite = false;
    bool timings = false;
    bool acceptDamaged = false;
};

struct ParsedCommandLine
{
    CliOptions options;
    QString error; // empty when the command line is valid
};

// Parses the arguments that follow the program name. On a usage error, `error` holds the
// message without the program name, naming the option or argument at fault.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// The text that --help prints: the general usage for Help, else that command's.
QString helpText(CliCommand topic);

// "tolvane-cli 1.0".
QString versionText();

} // namespace tolvane
