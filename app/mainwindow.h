#pragma once

#include <cstdint>

#include <QGraphicsScene>
#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QSettings>
#include <QUndoStack>

#include "app/imagefiles.h"
#include "core/plane.h"

class MainWindowForm;
class QGraphicsPixmapItem;

// The one window: owns the scene and its items, the photo image, the brightness map, the
// undo history and the settings. The tools are its slots.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Read-only access for tests and tools.
    const QImage &photo() const { return m_photo; }
    const tolvane::PlaneBuffer<std::uint8_t> &brightnessMap() const { return m_brightnessMap; }
    QGraphicsPixmapItem *photoItem() const { return m_photoItem; }
    QGraphicsPixmapItem *maskItem() const { return m_maskItem; }
    QGraphicsPixmapItem *previewItem() const { return m_previewItem; }
    QGraphicsPixmapItem *backdropItem() const { return m_backdropItem; }
    QPoint lastControlPoint() const { return m_lastControlPoint; }
    const QUndoStack &undoStack() const { return m_undoStack; }
    const QString &filePath() const { return m_filePath; }
    // Whether the photo differs from the one last opened or saved.
    bool hasUnsavedChanges() const;

    // Opens the photo at `path` as Open does once a file is chosen (without asking about
    // unsaved changes): false, with the reason in the status bar, when it cannot be read.
    bool openPhoto(const QString &path);

signals:
    void mwquit();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_actionIndex_triggered();
    void on_actionAbout_triggered();
    void on_actionQuit_triggered();
    void on_actionSave_triggered();
    void on_actionSmartSelect_toggled(bool checked);
    void on_actionProcess_triggered();
    void on_actionSelect_triggered();
    void on_actionZoomMinus_triggered();
    void on_actionZoomPlus_triggered();
    void on_actionOpen_triggered();
    void ProcessSmartSelect(QRect rect, bool pressed, bool is_right);

private:
    bool savePhoto();
    bool mayDiscardChanges();
    void clearScene();
    void removePreview();
    // Says in the status bar that a tool stopped for want of memory.
    void showNoMemory();
    int photoRevision() const;

    MainWindowForm *m_ui;
    QGraphicsScene m_scene;
    QSettings m_settings;
    QString m_filePath;
    QGraphicsPixmapItem *m_photoItem = nullptr;
    QGraphicsPixmapItem *m_maskItem = nullptr;
    QGraphicsPixmapItem *m_previewItem = nullptr;
    QGraphicsPixmapItem *m_backdropItem = nullptr;
    QPoint m_lastControlPoint {0, 0};
    QUndoStack m_undoStack;
    tolvane::PlaneBuffer<std::uint8_t> m_brightnessMap;
    QImage m_photo;
    // The opened file's metadata and colour profile, written with every Save of its photo.
    tolvane::PhotoMetadata m_photoMetadata;
    // The photo revision (see photoRevision()) last opened or saved.
    int m_savedRevision = 0;
};
