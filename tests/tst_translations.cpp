// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"
#include "outsidetools.h"
#include "testsupport.h"
#include "translations.h"
#include "windowcontrols.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// The window in German: its captions come from the compiled-in translation, English stays as the
// sources have it, and the translation file is complete for the sources as they stand.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void captions_data();
    void captions();
    void systemLocale();
    void germanCaptionsFit_data();
    void germanCaptionsFit();
    void tsFileIsCurrent();
};

// A caption of the window: a widget's text or title by its name, "action:" an action's text, or
// "title" the window's title up to its size.
static QString caption(MainForm &form, const QString &which)
{
    if (which == QLatin1String("title"))
        return form.windowTitle().section(QLatin1Char(','), 0, 0);
    if (which.startsWith(QLatin1String("action:"))) {
        const QString name = which.mid(7);
        for (QAction *a : form.actions())
            if (a->objectName() == name)
                return a->text();
        return QStringLiteral("(no action %1)").arg(name);
    }
    QWidget *w = form.findChild<QWidget *>(which);
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    return QStringLiteral("(no widget %1)").arg(which);
}

void TestTranslations::captions_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("group") << "shapeTypeBox"
                           << "Encoder shape"
                           << "Encoderform";
    QTest::newRow("radio button") << "circleRadioButton"
                                  << "Circle"
                                  << "Kreis";
    QTest::newRow("button") << "previewButton"
                            << "Make preview"
                            << "Vorschau erstellen";
    QTest::newRow("save button") << "saveButton"
                                 << "Image..."
                                 << "Bild...";
    QTest::newRow("action") << "action:printAction"
                            << "&Print..."
                            << "Dr&ucken...";
    QTest::newRow("title") << "title"
                           << "Quvelta by ardin51"
                           << "Quvelta von ardin51";
}

// The same window in English, then with the German translation installed.
void TestTranslations::captions()
{
#ifndef QUVELTA_TRANSLATIONS
    if (OutsideTools::required())
        QFAIL("built without Qt's Linguist tools (scripts/install-deps.sh installs them)");
    QSKIP("built without Qt's Linguist tools: no translations");
#else
    QFETCH(QString, which);
    QFETCH(QString, english);
    QFETCH(QString, german);
    {
        MainForm form;
        QCOMPARE(caption(form, which), english);
    }
    QVERIFY(Translations::install(QLocale(QLocale::German, QLocale::Germany)));
    {
        MainForm form;
        QCOMPARE(caption(form, which), german);
    }
    for (QTranslator *t : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    MainForm form;
    QCOMPARE(caption(form, which), english);
#endif
}

// Started with a German system locale (LC_ALL=de_DE.UTF-8, as its CTest run sets it), the
// translations the program installs at start are German, Qt's own buttons too.
void TestTranslations::systemLocale()
{
    if (QLocale::system().language() != QLocale::German)
        QSKIP("run with LC_ALL=de_DE.UTF-8 (tst_translations_german does)");
#ifndef QUVELTA_TRANSLATIONS
    QSKIP("built without Qt's Linguist tools: no translations");
#else
    QVERIFY(Translations::install(QLocale::system()));
    MainForm form;
    QCOMPARE(caption(form, QStringLiteral("circleRadioButton")), QStringLiteral("Kreis"));
    const QString qtbase
        = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm");
    QUVELTA_NEEDS(qtbase);
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
#endif
}

void TestTranslations::germanCaptionsFit_data()
{
    addDesktopFontRows();
}

// The German captions are longer than the English ones the form was laid out for: each still
// fits its fixed rectangle (a smaller font of its own where needed), the tabs' too.
void TestTranslations::germanCaptionsFit()
{
#ifndef QUVELTA_TRANSLATIONS
    QSKIP("built without Qt's Linguist tools: no translations");
#else
    QFETCH(int, pixels);
    QVERIFY(Translations::install(QLocale(QLocale::German, QLocale::Germany)));
    const DesktopFontSize fontSize(pixels);
    {
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(
            caption(form, QStringLiteral("previewButton")), QStringLiteral("Vorschau erstellen"));
        const QStringList clipped = clippedCaptions(form.centralWidget(), true);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
        const auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("optionsTab"));
        QVERIFY(tabs);
        const QTabBar *bar = tabs->tabBar();
        const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
        for (int i = 0; i < bar->count(); ++i)
            QVERIFY2(bar->fontMetrics().horizontalAdvance(bar->tabText(i)) + space
                    <= bar->tabRect(i).width(),
                qPrintable(bar->tabText(i)));
    }
    for (QTranslator *t : QCoreApplication::instance()->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
#endif
}

// lupdate, run over the sources into a copy of the German file, changes nothing: no text is
// missing (it would come in unfinished) and none is left over (obsolete or vanished).
void TestTranslations::tsFileIsCurrent()
{
    QUVELTA_NEEDS(QStringLiteral(QUVELTA_LUPDATE));
    const QString source = QStringLiteral(QUVELTA_SOURCE_DIR);
    QFile original(source + QStringLiteral("/translations/quvelta_de.ts"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("quvelta_de.ts"));
    QVERIFY(QFile::copy(original.fileName(), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const Run run = runProgram(QStringLiteral(QUVELTA_LUPDATE),
        { "-locations", "none", source + "/src/app", source + "/src/widgets", "-ts", copy });
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QFile updated(copy);
    QVERIFY(updated.open(QIODevice::ReadOnly));
    const QByteArray after = updated.readAll();
    for (const char *type : { "type=\"unfinished\"", "type=\"obsolete\"", "type=\"vanished\"" })
        QVERIFY2(!after.contains(type), type);
    QVERIFY2(
        after == before, "lupdate rewrites translations/quvelta_de.ts: run update_translations");
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
