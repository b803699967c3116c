#include <QApplication>

#include "app/mainwindow.h"
#include "core/workingmemory.h"
#include "image/imagefiles.h"

int main(int argc, char *argv[])
{
    tolvane::keepWorkingMemory();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tolvane 1.0"));
    QCoreApplication::setOrganizationName(QStringLiteral("Pellam software"));
    // Ties the windows to the installed tolvane.desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvane"));
    tolvane::allowLargePhotos();

    int status = 0;
    {
        MainWindow window;
        QObject::connect(&window, &MainWindow::mwquit, &app, &QCoreApplication::quit);
        window.show();
        // "tolvane PHOTO", as file managers start it for a photo and raw developers hand it one
        // to retouch: Save writes the photo back there.
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1)
            window.editPhoto(arguments.at(1));
        status = app.exec();
    }
    return status;
}
