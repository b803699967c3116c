#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QUndoStack>
#include <benchmark/benchmark.h>

#include "app/mainwindow.h"
#include "app/userprompts.h"
#include "canvas/kestgraphicsview.h"
#include "core/workingmemory.h"
#include "image/imagefiles.h"
#include "image/snapshot.h"
#include <sys/resource.h>

// The desktop program's actions end to end on a 24-megapixel photo (6000 x 4000) and on a
// 50-megapixel one (8660 x 5773), as the user waits for them: Open with its pixmaps and
// brightness map, detection with its mask pixmap and command, the removal with its snapshots
// and pixmap conversions, smart selection, undo, and Save as PNG and as JPEG. Between actions
// the snapshot files are given time to be written, as a user looking at the result gives it;
// "disk_MB" is what the action's snapshot files take in the temporary folder.

namespace {

class OpenPrompts final : public UserPrompts
{
public:
    QString path;
    QString savePath;
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return path;
    }
    QString saveFileName(
        QWidget *, const QString &, const QString &, const QString &, QString *) override
    {
        return savePath;
    }
    QMessageBox::StandardButton askToSaveChanges(
        QWidget *, const QString &, const QString &) override
    {
        return QMessageBox::Discard;
    }
};

struct PhotoSize
{
    int width;
    int height;

    bool operator==(const PhotoSize &) const = default;
};

constexpr PhotoSize size24MP {6000, 4000};
constexpr PhotoSize size50MP {8660, 5773};

// Row of wire `wire` (0 to 5) at column x of a photo `width` wide: a quadratic sag from
// (0, 400 + 500 wire) through the control point (width / 2, 800 + 500 wire) to
// (width, 350 + 500 wire).
int wireRow(int wire, int x, int width)
{
    const double t = double(x) / width;
    const double y = (1 - t) * (1 - t) * (400 + wire * 500) + 2 * t * (1 - t) * (800 + wire * 500)
        + t * t * (350 + wire * 500);
    return int(std::lround(y));
}

// A noisy sky with six sagging dark wires, written once as a JPEG (quality 90), as cameras do.
QString photoFile(const QTemporaryDir &dir, PhotoSize size)
{
    QImage photo(size.width, size.height, QImage::Format_ARGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, size.height);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(1, QColor(190, 215, 240));
    painter.fillRect(photo.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int wire = 0; wire < 6; ++wire) {
        QPainterPath path(QPointF(0, 400 + wire * 500));
        path.quadTo(size.width / 2, 800 + wire * 500, size.width, 350 + wire * 500);
        painter.setPen(QPen(QColor(40, 40, 45), 1 + wire % 3));
        painter.drawPath(path);
    }
    painter.end();
    // Texture, as real skies have: detection then finds many short candidate bands.
    quint32 state = 1;
    for (int y = 0; y < photo.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            const int d = int(state >> 28) - 8;
            row[x] = qRgb(qBound(0, qRed(row[x]) + d, 255), qBound(0, qGreen(row[x]) + d, 255),
                qBound(0, qBlue(row[x]) + d, 255));
        }
    }
    const QString path = dir.filePath(QStringLiteral("sky.jpg"));
    photo.save(path, "JPG", 90);
    return path;
}

struct Program
{
    PhotoSize size;
    QTemporaryDir dir;
    QTemporaryDir snapshots;
    OpenPrompts prompts;
    MainWindow window;

    explicit Program(PhotoSize photoSize)
        : size(photoSize)
    {
        UserPrompts::install(&prompts);
        prompts.path = photoFile(dir, size);
        qputenv("TMPDIR", snapshots.path().toLocal8Bit());
    }
    ~Program() { UserPrompts::install(nullptr); }
    void trigger(const char *action) { window.findChild<QAction *>(action)->trigger(); }
    void undo() { const_cast<QUndoStack &>(window.undoStack()).undo(); }
    void redo() { const_cast<QUndoStack &>(window.undoStack()).redo(); }
    // A press or move of the smart-selection tool centred on photo pixel (x, y).
    void smartSelect(int x, int y, bool pressed, bool right = false)
    {
        emit window.findChild<KestGraphicsView *>()->SmartSelect(
            QRect(x + 5, y + 5, 11, 11), pressed, right);
    }
    QStringList snapshotFiles() const { return QDir(snapshots.path()).entryList(QDir::Files); }
    // Megabytes of the snapshot files not in `before`, once every snapshot is written.
    double newFilesMB(const QStringList &before) const
    {
        Snapshot::waitForWrites();
        qint64 bytes = 0;
        for (const QFileInfo &file : QDir(snapshots.path()).entryInfoList(QDir::Files)) {
            if (!before.contains(file.fileName()))
                bytes += file.size();
        }
        return bytes / 1e6;
    }
};

// Made on first use for a size, and again for the other size (one at a time, for memory);
// destroyed before the application object.
std::unique_ptr<Program> instance;
PhotoSize currentSize = size24MP;

Program &program()
{
    if (instance && instance->size != currentSize)
        instance.reset();
    if (!instance)
        instance = std::make_unique<Program>(currentSize);
    return *instance;
}

void decodeJpeg(benchmark::State &state)
{
    Program &p = program();
    for (auto _ : state)
        benchmark::DoNotOptimize(QImageReader(p.prompts.path).read());
}

// Each Open follows a bare decode of the same file, so that both meet the same load on the
// machine; "vs_decode" is the median of their ratios.
void open(benchmark::State &state)
{
    Program &p = program();
    std::vector<double> ratios;
    for (auto _ : state) {
        state.PauseTiming();
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(QImageReader(p.prompts.path).read());
        const double decode = double(timer.nsecsElapsed());
        state.ResumeTiming();
        timer.start();
        p.trigger("actionOpen");
        ratios.push_back(double(timer.nsecsElapsed()) / decode);
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["vs_decode"] = ratios[ratios.size() / 2];
}

// Times `step` alone in every iteration: `setUp` before and `tearDown` after it run untimed.
// "disk_MB" is what the snapshot files that the step adds take, once written.
template <typename SetUp, typename Step, typename TearDown>
void timeStep(benchmark::State &state, SetUp setUp, Step step, TearDown tearDown)
{
    Program &p = program();
    double disk = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setUp(p);
        const QStringList before = p.snapshotFiles();
        state.ResumeTiming();
        step(p);
        state.PauseTiming();
        disk = p.newFilesMB(before);
        tearDown(p);
        state.ResumeTiming();
    }
    state.counters["disk_MB"] = disk;
}

void undoTwice(Program &p)
{
    p.undo();
    p.undo();
}

// With the marks of an earlier Select on the stack, which the new Select's snapshot saves.
void select(benchmark::State &state)
{
    program().trigger("actionOpen");
    program().trigger("actionSelect");
    timeStep(
        state, [](Program &) {}, [](Program &p) { p.trigger("actionSelect"); },
        [](Program &p) { p.undo(); });
}

void selectAndWait(Program &p)
{
    p.trigger("actionSelect");
    Snapshot::waitForWrites();
}

void process(benchmark::State &state)
{
    program().trigger("actionOpen");
    timeStep(
        state, selectAndWait, [](Program &p) { p.trigger("actionProcess"); }, undoTwice);
}

// Process until its snapshot files are completely written.
void processWritten(benchmark::State &state)
{
    program().trigger("actionOpen");
    timeStep(
        state, selectAndWait,
        [](Program &p) {
            p.trigger("actionProcess");
            Snapshot::waitForWrites();
        },
        undoTwice);
}

// Undo of Process, once its snapshot files are written or at once, while they may still be
// being written.
void undoProcess(benchmark::State &state, bool filesWritten)
{
    program().trigger("actionOpen");
    timeStep(
        state,
        [filesWritten](Program &p) {
            selectAndWait(p);
            p.trigger("actionProcess");
            if (filesWritten)
                Snapshot::waitForWrites();
        },
        [](Program &p) { p.undo(); }, [](Program &p) { p.undo(); });
}

void undoProcessWritten(benchmark::State &state)
{
    undoProcess(state, true);
}

void undoProcessAtOnce(benchmark::State &state)
{
    undoProcess(state, false);
}

// Redo of an undone Process, its files written.
void redoProcess(benchmark::State &state)
{
    program().trigger("actionOpen");
    timeStep(
        state,
        [](Program &p) {
            selectAndWait(p);
            p.trigger("actionProcess");
            p.undo();
            Snapshot::waitForWrites();
        },
        [](Program &p) { p.redo(); }, undoTwice);
}

// Mouse moves away from a control point on wire 1 at column 1000, up to 480 pixels: along the
// wire, and across the sky above it, where the search climbs through the brightness limits
// and gives up on a route that is far too wide. Each move traces and shows the preview.
// Reports the median and the slowest move of the last sweep.
void smartSelectMove(benchmark::State &state)
{
    Program &p = program();
    p.trigger("actionOpen");
    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        p.smartSelect(0, 0, true, true);
        p.smartSelect(1000, wireRow(1, 1000, p.size.width), true);
        ms.clear();
        state.ResumeTiming();
        for (int step = 1; step <= 48; ++step) {
            const int x = 1000 + step * 10;
            for (const int y :
                {wireRow(1, x, p.size.width), wireRow(1, 1000, p.size.width) - (480 - step * 10)}) {
                QElapsedTimer timer;
                timer.start();
                p.smartSelect(x, y, false);
                ms.push_back(timer.nsecsElapsed() / 1e6);
            }
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["move_median_ms"] = ms[ms.size() / 2];
    state.counters["move_worst_ms"] = ms.back();
}

// A left press 400 pixels along wire 1 from the control point: traces, and commits the route
// into the marks of an earlier Select.
void smartSelectCommit(benchmark::State &state)
{
    program().trigger("actionOpen");
    program().trigger("actionSelect");
    timeStep(
        state,
        [](Program &p) {
            p.smartSelect(0, 0, true, true);
            p.smartSelect(1000, wireRow(1, 1000, p.size.width), true);
        },
        [](Program &p) { p.smartSelect(1400, wireRow(1, 1400, p.size.width), true); },
        [](Program &p) { p.undo(); });
}

// Save As of the opened photo, with its tags, to a file that exists from the last
// iteration: encoding, the temporary file and its rename.
void save(benchmark::State &state, const char *suffix)
{
    Program &p = program();
    p.trigger("actionOpen");
    p.prompts.savePath = p.dir.filePath(QStringLiteral("saved.") + QLatin1StringView(suffix));
    for (auto _ : state)
        p.trigger("actionSaveAs");
    state.counters["file_MB"] = QFileInfo(p.prompts.savePath).size() / 1e6;
}

void savePng(benchmark::State &state)
{
    save(state, "png");
}

void saveJpeg(benchmark::State &state)
{
    save(state, "jpg");
}

// Ten steps of history on the photo (Autodetect and Process, then four rounds of a mark brush
// stroke across the photo and Process), all undone and redone: "peak_MB" is the most memory
// the process has held so far, so run it alone (--benchmark_filter=tenSteps50MP) to read its
// own.
void tenSteps(benchmark::State &state)
{
    Program &p = program();
    auto *view = p.window.findChild<KestGraphicsView *>();
    for (auto _ : state) {
        p.trigger("actionOpen");
        p.trigger("actionSelect");
        p.trigger("actionProcess");
        p.trigger("actionMarkBrush");
        for (int round = 1; round < 5; ++round) {
            const double y = p.size.height * round / 5.0;
            emit view->BrushStroke(QPolygonF({QPointF(10, y), QPointF(p.size.width, y + 300)}));
            p.trigger("actionProcess");
        }
        p.trigger("actionMarkBrush");
        for (int step = 0; step < 10; ++step)
            p.undo();
        for (int step = 0; step < 10; ++step)
            p.redo();
        Snapshot::waitForWrites();
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = usage.ru_maxrss / 1024.0;
    state.counters["steps"] = p.window.undoStack().count();
}

// Each benchmark for one photo size, named as `name` followed by the size.
template <void (*run)(benchmark::State &)>
void registerAt(const char *name, PhotoSize size, const char *sizeName)
{
    benchmark::RegisterBenchmark((std::string(name) + sizeName).c_str(),
        [size](benchmark::State &state) {
            currentSize = size;
            run(state);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void registerAll(PhotoSize size, const char *sizeName)
{
    registerAt<decodeJpeg>("decodeJpeg", size, sizeName);
    registerAt<open>("open", size, sizeName);
    registerAt<select>("select", size, sizeName);
    registerAt<process>("process", size, sizeName);
    registerAt<processWritten>("processWritten", size, sizeName);
    registerAt<undoProcessWritten>("undoProcess", size, sizeName);
    registerAt<undoProcessAtOnce>("undoProcessAtOnce", size, sizeName);
    registerAt<redoProcess>("redoProcess", size, sizeName);
    registerAt<smartSelectMove>("smartSelectMove", size, sizeName);
    registerAt<smartSelectCommit>("smartSelectCommit", size, sizeName);
    registerAt<savePng>("savePng", size, sizeName);
    registerAt<saveJpeg>("saveJpeg", size, sizeName);
    registerAt<tenSteps>("tenSteps", size, sizeName);
}

} // namespace

int main(int argc, char **argv)
{
    tolvane::keepWorkingMemory();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tolvane::allowLargePhotos();
    // The names of the 24-megapixel runs are those of earlier versions of this program.
    registerAll(size24MP, "24MP");
    registerAll(size50MP, "50MP");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    instance.reset();
    return 0;
}
