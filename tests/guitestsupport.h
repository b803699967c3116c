#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>

#include "app/userprompts.h"

// Shared by the window tests: answers in place of the file dialogs, a private settings store,
// and photos written into temporary folders.

// Answers the window's questions from queues and records what it asked. Installed for its
// lifetime.
struct FakePrompts final : UserPrompts
{
    QStringList openAnswers, saveAnswers; // taken front first; empty means cancel
    QString selectedSaveFilter = QStringLiteral("JPG Files (*.jpg)");
    QMessageBox::StandardButton saveChangesAnswer = QMessageBox::Discard;

    QStringList openAsked, saveAsked; // the directory each dialog started in
    int saveChangesAsked = 0;
    QString lastQuestion;

    FakePrompts() { UserPrompts::install(this); }
    ~FakePrompts() override { UserPrompts::install(nullptr); }

    QString openFileName(QWidget *, const QString &, const QString &dir, const QString &) override
    {
        openAsked.append(dir);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }

    QString saveFileName(QWidget *, const QString &, const QString &dir, const QString &,
        QString *selectedFilter) override
    {
        saveAsked.append(dir);
        *selectedFilter = selectedSaveFilter;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }

    QMessageBox::StandardButton askToSaveChanges(
        QWidget *, const QString &, const QString &question) override
    {
        ++saveChangesAsked;
        lastQuestion = question;
        return saveChangesAnswer;
    }
};

// Points the settings store of "Pellam software"/"Tolvane 1.0" into `dir`, a fresh folder.
// Call from initTestCase(), before any window exists.
inline void useTemporarySettings(const QTemporaryDir &dir)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Pellam software"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolvane 1.0"));
    // On Unix the native format is the INI one.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
}

inline QString canonical(const QString &dir)
{
    return QDir(dir).canonicalPath();
}

// A w x h photo whose pixels all differ, opaque.
inline QImage patternPhoto(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 11 % 256, (x + y) * 3 % 256));
    return image;
}

// Writes `image` as `name` into `dir` (format from the suffix) and returns the full path.
inline QString writePhoto(const QTemporaryDir &dir, const QString &name, const QImage &image)
{
    const QString path = dir.filePath(name);
    if (!image.save(path))
        qFatal("cannot write test photo %s", qPrintable(path));
    return path;
}

// Writes `bytes` as `name` into `dir` and returns the full path.
inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(file.fileName()));
    return file.fileName();
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read test file %s", qPrintable(path));
    return file.readAll();
}

// Snapshot files in `dir`.
inline int snapshotFilesIn(const QString &dir)
{
    return int(QDir(dir).entryList(QDir::Files).size());
}
