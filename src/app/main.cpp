// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"
#include "outputfile.h"
#include "translations.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char **argv)
{
    // The window icon is a compiled-in resource of a static library; register it before any use.
    Q_INIT_RESOURCE(resources);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quvelta"));
    QApplication::setApplicationName(QStringLiteral("Quvelta"));
    QApplication::setDesktopFileName(QStringLiteral("quvelta"));
    Translations::install(QLocale::system());

    // A file written in place (its folder takes no new file) is worth a word to the user.
    OutputFile::setWarningHandler([](const QString &text) {
        QMessageBox::warning(QApplication::activeWindow(), QObject::tr("Warning"), text);
    });

    MainForm window;
    window.restoreSettings();
    window.show();
    return app.exec();
}
