#pragma once

#include <cstdint>

#include <QGraphicsScene>
#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QPolygonF>
#include <QSettings>
#include <QUndoStack>

#include "core/plane.h"
#include "document/photodocument.h"

class MainWindowForm;
class QGraphicsPixmapItem;

// The one window: shows the photo document in its scene and runs the tools on it. The slots
// read the parameters, call the tool and push the undo command; the scene items follow the
// document's signals.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    const tolvane::PhotoDocument &document() const { return m_document; }
    // Whether the photo as opened is shown (backslash held).
    bool isShowingBefore() const { return m_showingBefore; }
    // Read-only access for tests and tools.
    const QImage &photo() const { return m_document.photo(); }
    const tolvane::PlaneBuffer<std::uint8_t> &brightnessMap() const
    {
        return m_document.brightnessMap();
    }
    QPoint lastControlPoint() const { return m_document.lastControlPoint(); }
    const QString &filePath() const { return m_document.filePath(); }
    // Whether the photo differs from the one last opened or saved.
    bool hasUnsavedChanges() const { return m_document.isModified(); }
    QGraphicsPixmapItem *photoItem() const { return m_photoItem; }
    QGraphicsPixmapItem *maskItem() const { return m_maskItem; }
    QGraphicsPixmapItem *previewItem() const { return m_previewItem; }
    QGraphicsPixmapItem *backdropItem() const { return m_backdropItem; }
    const QUndoStack &undoStack() const { return m_undoStack; }

    // Opens the photo at `path` as Open does once a file is chosen (without asking about
    // unsaved changes): false, with the reason in the status bar, when it cannot be read.
    bool openPhoto(const QString &path);
    // Opens the photo as openPhoto() does, to be edited in place: Save then writes it back to
    // `path` without asking (Save As... still asks), as an external editor of another program.
    bool editPhoto(const QString &path);

signals:
    void mwquit();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Backslash held shows the photo as opened.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    // A photo file dropped on the window is opened.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void on_actionIndex_triggered();
    void on_actionAbout_triggered();
    void on_actionQuit_triggered();
    void on_actionSave_triggered();
    void on_actionSaveAs_triggered();
    void on_actionSuggestedThresholds_triggered();
    void on_actionSmartSelect_toggled(bool checked);
    void on_actionProcess_triggered();
    void on_actionSelect_triggered();
    void on_actionZoomMinus_triggered();
    void on_actionZoomPlus_triggered();
    void on_actionOpen_triggered();
    void ProcessSmartSelect(QRect rect, bool pressed, bool is_right);

    // Editing the marks by hand and looking at them (mainwindow_marks.cpp).
    void on_actionEraser_toggled(bool checked);
    void on_actionMarkBrush_toggled(bool checked);
    void on_actionBrushSmaller_triggered();
    void on_actionBrushLarger_triggered();
    void on_brushSizeBox_valueChanged(int size);
    void on_actionShowMarks_toggled(bool shown);
    void on_actionLoadMask_triggered();
    void on_actionSaveMask_triggered();
    void on_actionFitToWindow_triggered();
    void on_actionActualSize_triggered();
    void applyBrushStroke(QPolygonF scenePoints);
    void dropPieceAt(QPointF scenePoint);

    // The scene follows the document.
    void showOpenedPhoto();
    void showPhoto();
    void showMask();

private:
    // Writes the photo back to the file being edited, or else asks for a name (as always when
    // `askName`); false when nothing was written.
    bool savePhoto(bool askName = false);
    // Writes the photo to `path` on a thread of its own, the window repainting meanwhile.
    bool writePhotoFile(const QString &path);
    // Save mask...: false when nothing was written.
    bool saveMask();
    // The canvas's tool from the checked tool action.
    void updateTool();
    // Shows the photo as opened, without marks, or the document again.
    void showBefore(bool before);
    // The tools' connections and state that the form does not make (mainwindow_marks.cpp).
    void setUpMarkTools();
    bool mayDiscardChanges();
    void clearScene();
    void removePreview();
    // Says in the status bar that a tool stopped for want of memory.
    void showNoMemory();
    // The detection mode chosen in the detector box, and the boxes of the numbers it uses
    // enabled (once a photo is open) while the others are not.
    bool usesPreciseDetector() const;
    void updateDetectorBoxes();

    MainWindowForm *m_ui;
    QGraphicsScene m_scene;
    QSettings m_settings;
    QString m_editedFile; // written back by Save; empty unless editPhoto() opened the photo
    tolvane::PhotoDocument m_document;
    QGraphicsPixmapItem *m_photoItem = nullptr;
    QGraphicsPixmapItem *m_maskItem = nullptr;
    QGraphicsPixmapItem *m_previewItem = nullptr;
    QGraphicsPixmapItem *m_backdropItem = nullptr;
    // While a tool runs with the window repainting (see on_actionSelect_triggered()).
    bool m_busy = false;
    // While the photo as opened is shown in place of the document.
    bool m_showingBefore = false;
    QUndoStack m_undoStack;
};
