#include "cli/commands.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QStringList>
#include <QThread>

#include "cli/options.h"
#include "core/plane.h"
#include "core/wiretypes.h"
#include "document/tools.h"
#include "image/imagefiles.h"
#include "image/wiremask.h"
#include "selection/workers.h"
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

namespace {

// A duplicate of the standard error the program started with: this program's own lines go
// there, also while LibraryOutputMute points descriptor 2 elsewhere. -1 when there is none.
int ownStderr()
{
    static const int fd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    return fd;
}

// The image libraries print their own complaints about a damaged file ("libpng error: ...")
// straight to descriptor 2, beside the one line this program prints for it. While any file is
// read or written, descriptor 2 goes to /dev/null. Address-checked builds keep it, for their
// reports.
class LibraryOutputMute
{
public:
    LibraryOutputMute()
    {
        if (!muting())
            return;
        const std::lock_guard lock(s_mutex);
        if (s_depth++ > 0)
            return;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            std::fflush(stderr);
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~LibraryOutputMute()
    {
        if (!muting())
            return;
        const std::lock_guard lock(s_mutex);
        if (--s_depth == 0)
            ::dup2(ownStderr(), STDERR_FILENO);
    }
    LibraryOutputMute(const LibraryOutputMute &) = delete;
    LibraryOutputMute &operator=(const LibraryOutputMute &) = delete;

private:
    static bool muting()
    {
#if defined(__SANITIZE_ADDRESS__)
        return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        return false;
#endif
#endif
        return ownStderr() >= 0;
    }

    static inline std::mutex s_mutex;
    static inline int s_depth = 0;
};

// Set by SIGINT and SIGTERM; the work stops at the next file.
std::atomic<int> s_interruptedBy = 0;
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void noteInterrupt(int signal)
{
    s_interruptedBy.store(signal);
}

void catchInterrupts()
{
    struct sigaction action
    { };
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // reads and writes under way go on
    for (int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}

bool interrupted()
{
    return s_interruptedBy.load() != 0;
}

enum Stage { loadStage, detectStage, removeStage, traceStage, saveStage, stageCount };

// Wall-clock milliseconds per stage; clean adds up the times of all its photos.
class StageTimes
{
public:
    void add(Stage stage, qint64 nanoseconds)
    {
        m_nanoseconds[stage] += nanoseconds;
        m_ran[stage] = true;
    }

    void merge(const StageTimes &other)
    {
        for (int stage = 0; stage < stageCount; ++stage) {
            m_nanoseconds[stage] += other.m_nanoseconds[stage];
            m_ran[stage] = m_ran[stage] || other.m_ran[stage];
        }
    }

    bool isEmpty() const
    {
        for (bool ran : m_ran) {
            if (ran)
                return false;
        }
        return true;
    }

    // "timings: load 412.0 ms, detect 87.3 ms, save 301.5 ms": the stages that ran.
    QString line() const
    {
        static const char *const names[stageCount] = {"load", "detect", "remove", "trace", "save"};
        QStringList parts;
        for (int stage = 0; stage < stageCount; ++stage) {
            if (m_ran[stage]) {
                parts.append(QLatin1StringView(names[stage]) + u' '
                    + QString::number(double(m_nanoseconds[stage]) / 1e6, 'f', 1)
                    + QStringLiteral(" ms"));
            }
        }
        return QStringLiteral("timings: ") + parts.join(QStringLiteral(", "));
    }

private:
    std::array<qint64, stageCount> m_nanoseconds {};
    std::array<bool, stageCount> m_ran {};
};

// Adds the time from its construction to its destruction to one stage.
class StageClock
{
public:
    StageClock(StageTimes &times, Stage stage)
        : m_times(times)
        , m_stage(stage)
    {
        m_timer.start();
    }
    ~StageClock() { m_times.add(m_stage, m_timer.nsecsElapsed()); }
    StageClock(const StageClock &) = delete;
    StageClock &operator=(const StageClock &) = delete;

private:
    StageTimes &m_times;
    Stage m_stage;
    QElapsedTimer m_timer;
};

QString sizeText(const QImage &image)
{
    return QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
}

QString pointText(QPoint point)
{
    return QStringLiteral("%1,%2").arg(point.x()).arg(point.y());
}

int reportUnreadable(const QString &path)
{
    printError(path + QStringLiteral(": Failed to read image"));
    return exitFileError;
}

int reportNoMemory(const QString &path, const QImage &photo)
{
    printError(path + QStringLiteral(": not enough memory for a ") + sizeText(photo)
        + QStringLiteral(" image"));
    return exitFileError;
}

// For a working buffer that could not be allocated somewhere inside a stage.
int reportNoMemory(const QString &path)
{
    printError(path + QStringLiteral(": not enough memory"));
    return exitFileError;
}

// Reads a photo as Open does, and its metadata when asked, timed as loading. A photo that
// cannot be read, or is damaged unless the options accept that, is reported and null.
QImage loadPhoto(const QString &path, const CliOptions &options, StageTimes &times,
    PhotoMetadata *metadata = nullptr)
{
    StageClock clock(times, loadStage);
    const LibraryOutputMute mute;
    QString damage;
    QImage photo = readPhoto(path, &damage);
    if (photo.isNull()) {
        reportUnreadable(path);
        return {};
    }
    if (!damage.isEmpty() && !options.acceptDamaged) {
        printError(path + QStringLiteral(": damaged: ") + damage
            + QStringLiteral(" (--accept-damaged reads it anyway)"));
        return {};
    }
    if (metadata)
        *metadata = readMetadata(path);
    return photo;
}

// Reads a wire mask as stored, timed as loading.
QImage loadMask(const QString &path, StageTimes &times)
{
    StageClock clock(times, loadStage);
    const LibraryOutputMute mute;
    return readMask(path);
}

// The wire mask of automatic detection and the number of its traces.
tools::Detection detect(const QImage &photo, const CliOptions &options)
{
    const tools::Detector detector = options.detector == CliDetector::Precise
        ? tools::Detector::Precise
        : tools::Detector::Classic;
    return tools::detect(photo, options.widthThreshold, options.lengthThreshold, nullptr, detector,
        options.wireLength);
}

bool save(
    const QImage &image, const QString &path, StageTimes &times, const PhotoMetadata &metadata = {})
{
    if (interrupted()) {
        printError(QStringLiteral("interrupted; ") + path + QStringLiteral(" not written"));
        return false;
    }
    QString reason;
    bool saved = false;
    {
        StageClock clock(times, saveStage);
        const LibraryOutputMute mute;
        saved = writeImage(image, path, metadata, &reason);
    }
    if (!saved)
        printError(path + QStringLiteral(": ") + reason);
    return saved;
}

// The canonical path that `path` names or would name once written: two names of one file
// compare equal, whether the file exists yet or not.
QString canonicalTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// Whether the output of a detect, remove or trace command is none of its inputs (the photo
// or the mask); reports it if it is.
bool checkOutputIsNoInput(const CliOptions &options)
{
    const QString target = canonicalTarget(options.output);
    QStringList inputs = options.inputs;
    if (!options.mask.isEmpty())
        inputs.append(options.mask);
    for (const QString &input : inputs) {
        if (QFileInfo(input).canonicalFilePath() == target) {
            printError(options.output + QStringLiteral(": is an input file (") + input
                + QStringLiteral("); not overwritten"));
            return false;
        }
    }
    return true;
}

bool checkWritableName(const QString &path)
{
    if (isWritableImageName(path))
        return true;
    printError(path + QStringLiteral(": no image format is known for this file name"));
    return false;
}

// The photo of a command that reads one file and writes another; null, the error printed, when
// the output would overwrite it or it cannot be read.
QImage loadOnlyInput(const CliOptions &options, StageTimes &times)
{
    if (!checkOutputIsNoInput(options))
        return {};
    return loadPhoto(options.inputs.constFirst(), options, times);
}

int runDetect(const CliOptions &options, StageTimes &times)
{
    const QString &input = options.inputs.constFirst();
    const QImage photo = loadOnlyInput(options, times);
    if (photo.isNull())
        return exitFileError;

    QImage mask;
    try {
        StageClock clock(times, detectStage);
        mask = detect(photo, options).mask;
    } catch (const std::bad_alloc &) {
        return reportNoMemory(input, photo);
    }
    return save(mask, options.output, times) ? exitSuccess : exitFileError;
}

int runRemove(const CliOptions &options, StageTimes &times)
{
    const QString &input = options.inputs.constFirst();
    if (!checkWritableName(options.output) || !checkOutputIsNoInput(options))
        return exitFileError;

    PhotoMetadata metadata;
    const QImage photo = loadPhoto(input, options, times, &metadata);
    if (photo.isNull())
        return exitFileError;
    const QImage mask = loadMask(options.mask, times);
    if (mask.isNull())
        return reportUnreadable(options.mask);
    if (mask.size() != photo.size()) {
        printError(options.mask + QStringLiteral(": the mask is ") + sizeText(mask)
            + QStringLiteral(", the photo ") + sizeText(photo));
        return exitUsage;
    }

    QImage result;
    try {
        StageClock clock(times, removeStage);
        result = tools::removeWires(photo, mask, options.wirePadding, options.fill);
    } catch (const std::bad_alloc &) {
        return reportNoMemory(input, photo);
    }
    return save(result, options.output, times, metadata) ? exitSuccess : exitFileError;
}

QString traceFailure(const WireRoute &route, QPoint from, QPoint to)
{
    switch (route.outcome) {
    case WireRoute::Outcome::TooFar:
        return pointText(to) + QStringLiteral(" is more than %1 pixels from ").arg(maxTraceDistance)
            + pointText(from);
    case WireRoute::Outcome::NoRoute:
        return QStringLiteral("no route from ") + pointText(from) + QStringLiteral(" to ")
            + pointText(to);
    case WireRoute::Outcome::Abandoned:
        return QStringLiteral("the route from ") + pointText(from) + QStringLiteral(" to ")
            + pointText(to) + QStringLiteral(" is not a thin line");
    case WireRoute::Outcome::Found:
        break;
    }
    return {};
}

int runTrace(const CliOptions &options, StageTimes &times)
{
    const QString &input = options.inputs.constFirst();
    const QImage photo = loadOnlyInput(options, times);
    if (photo.isNull())
        return exitFileError;
    for (QPoint point : options.points) {
        if (!photo.rect().contains(point)) {
            printError(QStringLiteral("--points: ") + pointText(point)
                + QStringLiteral(" is outside the photo (") + sizeText(photo)
                + QStringLiteral(")"));
            return exitUsage;
        }
    }

    // The clicks of the smart-selection tool: the mask starts empty at the first commit.
    QImage mask;
    QStringList failures;
    try {
        StageClock clock(times, traceStage);
        const PlaneBuffer<std::uint8_t> brightness = tools::brightnessMap(photo);
        QPoint controlPoint = options.points.constFirst();
        for (qsizetype i = 1; i < options.points.size(); ++i) {
            const QPoint point = options.points.at(i);
            const WireRoute route = tools::traceRoute(brightness.view(),
                Point {controlPoint.x(), controlPoint.y()}, Point {point.x(), point.y()});
            if (route.outcome != WireRoute::Outcome::Found) {
                failures.append(traceFailure(route, controlPoint, point));
                continue;
            }
            // No history to keep here: the routes go straight into one mask, the same pixels
            // as the window's commits give, without a copy of the mask per segment.
            if (mask.isNull())
                mask = tools::emptyMask(photo.size());
            markRoute(route, mask);
            controlPoint = point;
        }
    } catch (const std::bad_alloc &) {
        return reportNoMemory(input, photo);
    }

    if (mask.isNull()) {
        printError(QStringLiteral("--points: no segment could be committed (")
            + failures.join(QStringLiteral("; ")) + QStringLiteral("); ") + options.output
            + QStringLiteral(" not written"));
        return exitNothingTraced;
    }
    for (const QString &failure : failures)
        printError(QStringLiteral("--points: skipped, ") + failure);
    return save(mask, options.output, times) ? exitSuccess : exitFileError;
}

struct CleanJob
{
    QString input;
    QString output;
};

// Pairs every input with its output and leaves out, reporting each, the inputs that are not
// files and those whose output must not be written: one of the inputs, the output of an
// earlier input, an existing file (without --overwrite), or a name with no writable format.
// Returns false if any was left out.
bool planClean(const CliOptions &options, std::vector<CleanJob> &jobs)
{
    QSet<QString> inputFiles;
    for (const QString &input : options.inputs) {
        const QString canonical = QFileInfo(input).canonicalFilePath();
        if (!canonical.isEmpty())
            inputFiles.insert(canonical);
    }

    const QDir outDir(options.outDir);
    QHash<QString, QString> writtenBy;
    bool complete = true;
    for (const QString &input : options.inputs) {
        const QString output = options.output.isEmpty()
            ? outDir.filePath(QFileInfo(input).fileName())
            : options.output;
        const QString target = canonicalTarget(output);
        QString problem;
        if (!QFileInfo(input).isFile()) {
            problem = input + QStringLiteral(": Failed to read image");
        } else if (inputFiles.contains(target)) {
            problem = output + QStringLiteral(": is an input file; not overwritten, ") + input
                + QStringLiteral(" skipped");
        } else if (writtenBy.contains(target)) {
            problem = output + QStringLiteral(": already the output of ") + writtenBy.value(target)
                + QStringLiteral("; ") + input + QStringLiteral(" skipped");
        } else if (QFileInfo::exists(output) && !options.overwrite) {
            problem = output + QStringLiteral(": already exists; ") + input
                + QStringLiteral(" skipped (--overwrite replaces it)");
        } else if (!isWritableImageName(output)) {
            problem = output + QStringLiteral(": no image format is known for this file name; ")
                + input + QStringLiteral(" skipped");
        }
        if (!problem.isEmpty()) {
            printError(problem);
            complete = false;
            continue;
        }
        writtenBy.insert(target, input);
        jobs.push_back({input, output});
    }
    return complete;
}

// Open, Select, Process and Save of one photo; reports its own failure or progress line.
class CleanRun
{
public:
    CleanRun(const CliOptions &options, const std::vector<CleanJob> &jobs)
        : m_options(options)
        , m_jobs(jobs)
    { }

    // Processes every job with up to `workers` threads (fewer if the system cannot start
    // them); returns false if any failed.
    bool run(int workers, StageTimes &times)
    {
        runOnThreads(workers, [this] { work(); });
        times.merge(m_times);
        if (interrupted()) {
            printError(QStringLiteral("interrupted after %1 of %2 files; the others are not "
                                      "written")
                           .arg(m_finished)
                           .arg(m_options.inputs.size()));
        }
        return !m_failed;
    }

private:
    void work()
    {
        StageTimes times;
        bool failed = false;
        for (std::size_t i = m_next++; i < m_jobs.size() && !interrupted(); i = m_next++) {
            bool cleaned = false;
            try {
                cleaned = clean(m_jobs[i], times);
            } catch (const std::bad_alloc &) {
                reportNoMemory(m_jobs[i].input);
            }
            failed = !cleaned || failed;
        }

        const std::lock_guard lock(m_mutex);
        m_times.merge(times);
        m_failed = m_failed || failed;
    }

    bool clean(const CleanJob &job, StageTimes &times)
    {
        PhotoMetadata metadata;
        QImage photo = loadPhoto(job.input, m_options, times, &metadata);
        if (photo.isNull())
            return false;

        tools::Detection detection;
        qint64 markedCount = 0;
        QImage cleaned;
        try {
            {
                StageClock clock(times, detectStage);
                detection = detect(photo, m_options);
                markedCount = markedPixelCount(detection.mask);
            }
            StageClock clock(times, removeStage);
            cleaned
                = tools::removeWires(photo, detection.mask, m_options.wirePadding, m_options.fill);
        } catch (const std::bad_alloc &) {
            reportNoMemory(job.input, photo);
            return false;
        }
        photo = QImage();
        detection.mask = QImage();

        // Stopped by a signal: the file is not written, and one line for the run says so.
        if (interrupted())
            return false;
        if (!save(cleaned, job.output, times, metadata))
            return false;

        const std::lock_guard lock(m_mutex);
        ++m_finished;
        printLine(QStringLiteral("[%1/%2] %3: %4 wire traces, %5 pixels marked -> %6")
                      .arg(m_finished)
                      .arg(m_options.inputs.size())
                      .arg(QFileInfo(job.input).fileName())
                      .arg(detection.traceCount)
                      .arg(markedCount)
                      .arg(job.output));
        return true;
    }

    const CliOptions &m_options;
    const std::vector<CleanJob> &m_jobs;
    std::atomic<std::size_t> m_next = 0;
    std::mutex m_mutex; // guards the members below
    int m_finished = 0;
    bool m_failed = false;
    StageTimes m_times;
};

int runClean(const CliOptions &options, StageTimes &times)
{
    std::vector<CleanJob> jobs;
    const bool planned = planClean(options, jobs);
    if (jobs.empty())
        return exitFileError;
    if (!options.outDir.isEmpty() && !QDir().mkpath(options.outDir)) {
        printError(options.outDir + QStringLiteral(": cannot make this folder"));
        return exitFileError;
    }

    const int cores = std::max(QThread::idealThreadCount(), 1);
    const int workers = std::min(options.jobs > 0 ? options.jobs : cores, int(jobs.size()));
    CleanRun run(options, jobs);
    const bool succeeded = run.run(workers, times);
    return planned && succeeded ? exitSuccess : exitFileError;
}

} // namespace

void printLine(const QString &line)
{
    static std::mutex mutex;
    // A file name may hold a line break or other control characters; shown as \xNN they
    // keep the line one line.
    QString shown;
    shown.reserve(line.size());
    for (const QChar c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    const QByteArray bytes = shown.toLocal8Bit() + '\n';
    const int fd = ownStderr() >= 0 ? ownStderr() : STDERR_FILENO;
    const std::lock_guard lock(mutex);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written
            = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += written;
    }
}

void printError(const QString &message)
{
    printLine(QStringLiteral("tolvane-cli: ") + message);
}

int runCommand(const CliOptions &options)
{
    using Run = int (*)(const CliOptions &, StageTimes &);
    static const std::map<CliCommand, Run> runs {{CliCommand::Detect, runDetect},
        {CliCommand::Remove, runRemove}, {CliCommand::Trace, runTrace},
        {CliCommand::Clean, runClean}};
    StageTimes times;
    int status = exitUsage;
    catchInterrupts();
    try {
        // Help and Version are answered before a command runs.
        if (const auto run = runs.find(options.command); run != runs.end())
            status = run->second(options, times);
    } catch (const std::bad_alloc &) {
        // Nothing has been written: outputs are saved last, each complete or not at all.
        status = reportNoMemory(options.inputs.value(0));
    }
    if (options.timings && !times.isEmpty())
        printLine(times.line());
    return interrupted() ? exitInterrupted : status;
}

} // namespace tolvane
