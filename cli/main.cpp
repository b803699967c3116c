#include <cstdio>

#include <QCoreApplication>

#include "cli/commands.h"
#include "cli/options.h"
#include "core/workingmemory.h"
#include "image/imagefiles.h"

namespace {

// The image plug-ins report recoverable oddities of a file (a wrong colour profile, say) as
// warnings; they would break the one-line-per-event output that scripts rely on.
void dropWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        tolvane::printLine(message);
}

void printToStdout(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    tolvane::keepWorkingMemory();
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropWarnings);
    tolvane::allowLargePhotos();

    const tolvane::ParsedCommandLine parsed
        = tolvane::parseCommandLine(QCoreApplication::arguments().mid(1));
    if (!parsed.error.isEmpty()) {
        tolvane::printError(parsed.error);
        return tolvane::exitUsage;
    }
    switch (parsed.options.command) {
    case tolvane::CliCommand::Help:
        printToStdout(tolvane::helpText(parsed.options.helpTopic));
        return tolvane::exitSuccess;
    case tolvane::CliCommand::Version:
        printToStdout(tolvane::versionText() + u'\n');
        return tolvane::exitSuccess;
    default:
        return tolvane::runCommand(parsed.options);
    }
}
