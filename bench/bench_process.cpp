#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QUndoStack>
#include <benchmark/benchmark.h>

#include "app/imagefiles.h"
#include "app/mainwindow.h"
#include "app/userprompts.h"

// The desktop program's tools end to end on a 24-megapixel photo, as the user waits for them:
// detection with its mask pixmap and command, and the removal with its two snapshot files and
// the pixmap conversions.

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

// A noisy sky with six sagging dark wires, written once as BMP (quick to read back).
QString photoFile(const QTemporaryDir &dir)
{
    QImage photo(6000, 4000, QImage::Format_ARGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, 4000);
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
    const QString path = dir.filePath(QStringLiteral("sky.bmp"));
    photo.save(path);
    return path;
}

struct Program
{
    QTemporaryDir dir;
    OpenPrompts prompts;
    MainWindow window;

    Program()
    {
        UserPrompts::install(&prompts);
        prompts.path = photoFile(dir);
    }
    ~Program() { UserPrompts::install(nullptr); }
    void trigger(const char *action) { window.findChild<QAction *>(action)->trigger(); }
    void undo() { const_cast<QUndoStack &>(window.undoStack()).undo(); }
};

Program &program()
{
    static Program instance;
    return instance;
}

void open24MP(benchmark::State &state)
{
    Program &p = program();
    for (auto _ : state)
        p.trigger("actionOpen");
}

void select24MP(benchmark::State &state)
{
    Program &p = program();
    p.trigger("actionOpen");
    for (auto _ : state) {
        p.trigger("actionSelect");
        state.PauseTiming();
        p.undo();
        state.ResumeTiming();
    }
}

void process24MP(benchmark::State &state)
{
    Program &p = program();
    p.trigger("actionOpen");
    for (auto _ : state) {
        state.PauseTiming();
        p.trigger("actionSelect");
        state.ResumeTiming();
        p.trigger("actionProcess");
        state.PauseTiming();
        p.undo();
        p.undo();
        state.ResumeTiming();
    }
}

void undoProcess24MP(benchmark::State &state)
{
    Program &p = program();
    p.trigger("actionOpen");
    for (auto _ : state) {
        state.PauseTiming();
        p.trigger("actionSelect");
        p.trigger("actionProcess");
        state.ResumeTiming();
        p.undo();
        state.PauseTiming();
        p.undo();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(open24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(select24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(process24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(undoProcess24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tolvane::allowLargePhotos();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
