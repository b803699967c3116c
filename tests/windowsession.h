#pragma once

#include <QAction>
#include <QGraphicsPixmapItem>
#include <QSpinBox>
#include <QUndoStack>

#include "app/mainwindow.h"
#include "canvas/kestgraphicsview.h"
#include "guitestsupport.h"

// `w` x `h` (80 x 40 unless given) of `background` with a two-row `wire` on rows 10-11 from
// column 5 through 64.
inline QImage wireImage(QRgb background, QRgb wire, int w = 80, int h = 40)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(background);
    for (int x = 5; x < 65; ++x) {
        image.setPixel(x, 10, wire);
        image.setPixel(x, 11, wire);
    }
    return image;
}

// The main window driven as the user drives it, its dialogs answered by `prompts`; shared by
// the window tests, which add the gestures they need.
struct WindowSession
{
    QTemporaryDir photos, saved; // folders to open from and save to
    FakePrompts prompts;
    MainWindow window;

    QAction *action(const char *name) { return window.findChild<QAction *>(name); }
    void trigger(const char *name) { action(name)->trigger(); }
    template <typename T = QSpinBox> T *child(const char *name)
    {
        return window.findChild<T *>(QLatin1String(name));
    }
    void setBox(const char *name, int value) { child(name)->setValue(value); }
    QString status() { return window.statusBar()->currentMessage(); }
    QUndoStack &stack() { return const_cast<QUndoStack &>(window.undoStack()); }
    void undo() { stack().undo(); }
    KestGraphicsView *view() { return window.findChild<KestGraphicsView *>(); }
    // Open with `path` chosen in its dialog.
    void open(const QString &path)
    {
        prompts.openAnswers << path;
        trigger("actionOpen");
    }
    // A press or move of smart selection whose cursor square is centred on photo pixel (x, y).
    void smartSelect(int x, int y, bool pressed)
    {
        emit view()->SmartSelect(QRect(x + 5, y + 5, 11, 11), pressed, false);
    }
    void save(const QString &path)
    {
        prompts.saveAnswers << path;
        trigger("actionSave");
    }
    // Autodetect, then Process.
    void removeWires()
    {
        trigger("actionSelect");
        trigger("actionProcess");
    }
    int count() const { return window.undoStack().count(); }
    // The marks as the canvas shows them, as plain ARGB; null while there is no mask.
    QImage mask() const
    {
        return window.maskItem()
            ? window.maskItem()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32)
            : QImage();
    }
};
