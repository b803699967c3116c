#include <algorithm>
#include <cmath>
#include <memory>
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
#include "image/imagefiles.h"
#include "image/snapshot.h"

// The desktop program's actions end to end on a 24-megapixel photo, as the user waits for them:
// Open with its pixmaps and brightness map, detection with its mask pixmap and command, the
// removal with its snapshots and pixmap conversions, smart selection, and undo. Between actions
// the snapshot files are given time to be written, as a user looking at the result gives it;
// "disk_MB" is what the action's snapshot files take in the temporary folder.

namespace {

class OpenPrompts final : public UserPrompts
{
public:
    QString path;
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        return path;
    }
    QString saveFileName(
        QWidget *, const QString &, const QString &, const QString &, QString *) override
    {
        return {};
    }
    QMessageBox::StandardButton askToSaveChanges(
        QWidget *, const QString &, const QString &) override
    {
        return QMessageBox::Discard;
    }
};

constexpr int photoWidth = 6000;
constexpr int photoHeight = 4000;

// Row of wire `wire` (0 to 5) at column x: a quadratic sag from (0, 400 + 500 wire) through
// the control point (3000, 800 + 500 wire) to (6000, 350 + 500 wire).
int wireRow(int wire, int x)
{
    const double t = double(x) / photoWidth;
    const double y = (1 - t) * (1 - t) * (400 + wire * 500) + 2 * t * (1 - t) * (800 + wire * 500)
        + t * t * (350 + wire * 500);
    return int(std::lround(y));
}

// A noisy sky with six sagging dark wires, written once as a JPEG (quality 90), as cameras do.
QString photoFile(const QTemporaryDir &dir)
{
    QImage photo(photoWidth, photoHeight, QImage::Format_ARGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, photoHeight);
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(1, QColor(190, 215, 240));
    painter.fillRect(photo.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int wire = 0; wire < 6; ++wire) {
        QPainterPath path(QPointF(0, 400 + wire * 500));
        path.quadTo(3000, 800 + wire * 500, 6000, 350 + wire * 500);
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
    QTemporaryDir dir;
    QTemporaryDir snapshots;
    OpenPrompts prompts;
    MainWindow window;

    Program()
    {
        UserPrompts::install(&prompts);
        prompts.path = photoFile(dir);
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

// Made on first use, destroyed before the application object.
std::unique_ptr<Program> instance;

Program &program()
{
    if (!instance)
        instance = std::make_unique<Program>();
    return *instance;
}

void decodeJpeg24MP(benchmark::State &state)
{
    Program &p = program();
    for (auto _ : state)
        benchmark::DoNotOptimize(QImageReader(p.prompts.path).read());
}

// Each Open follows a bare decode of the same file, so that both meet the same load on the
// machine; "vs_decode" is the median of their ratios.
void open24MP(benchmark::State &state)
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
void select24MP(benchmark::State &state)
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

void process24MP(benchmark::State &state)
{
    program().trigger("actionOpen");
    timeStep(
        state, selectAndWait, [](Program &p) { p.trigger("actionProcess"); }, undoTwice);
}

// Process until its snapshot files are completely written.
void processWritten24MP(benchmark::State &state)
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

void undoProcess24MP(benchmark::State &state)
{
    undoProcess(state, true);
}

void undoProcessAtOnce24MP(benchmark::State &state)
{
    undoProcess(state, false);
}

// Redo of an undone Process, its files written.
void redoProcess24MP(benchmark::State &state)
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
void smartSelectMove24MP(benchmark::State &state)
{
    Program &p = program();
    p.trigger("actionOpen");
    std::vector<double> ms;
    for (auto _ : state) {
        state.PauseTiming();
        p.smartSelect(0, 0, true, true);
        p.smartSelect(1000, wireRow(1, 1000), true);
        ms.clear();
        state.ResumeTiming();
        for (int step = 1; step <= 48; ++step) {
            const int x = 1000 + step * 10;
            for (const int y : {wireRow(1, x), wireRow(1, 1000) - (480 - step * 10)}) {
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
void smartSelectCommit24MP(benchmark::State &state)
{
    program().trigger("actionOpen");
    program().trigger("actionSelect");
    timeStep(
        state,
        [](Program &p) {
            p.smartSelect(0, 0, true, true);
            p.smartSelect(1000, wireRow(1, 1000), true);
        },
        [](Program &p) { p.smartSelect(1400, wireRow(1, 1400), true); },
        [](Program &p) { p.undo(); });
}

} // namespace

BENCHMARK(decodeJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(open24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(select24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(process24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(processWritten24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(undoProcess24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(undoProcessAtOnce24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(redoProcess24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(smartSelectMove24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(smartSelectCommit24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tolvane::allowLargePhotos();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    instance.reset();
    return 0;
}
