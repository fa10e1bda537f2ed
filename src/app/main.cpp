#include "mainform.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The window icon is a compiled-in resource of a static library; register it before any use.
    Q_INIT_RESOURCE(resources);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quvelta"));
    QApplication::setDesktopFileName(QStringLiteral("quvelta"));

    MainForm window;
    window.show();
    return app.exec();
}
