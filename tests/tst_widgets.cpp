// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "colorselector.h"
#include "preview.h"

#include <QColorDialog>
#include <QLabel>
#include <QtTest>

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void previewFitsImage_data();
    void previewFitsImage();
    void previewIgnoresNull();
    void previewEmptyImageShowsOnlyBackground();
    void previewKeepsOneCopy();
    void previewPaintsCopyOnBackground();

    void swatchPickStoresColourThenSignals();
    void swatchIgnoresOtherButtons_data();
    void swatchIgnoresOtherButtons();
    void swatchCancelChangesNothing();
    void swatchCaptionPassesClicksOn();
};

static QColor swatchColor(const QWidget &w)
{
    return w.palette().brush(QPalette::Current, QPalette::Window).color();
}

// Answers the next modal colour dialog: accepts `color`, or cancels when it is invalid.
// Records the colour the dialog opened with.
static void answerColorDialog(const QColor &color, QColor *openedWith)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *openedWith = dialog->currentColor();
        if (color.isValid()) {
            dialog->setCurrentColor(color);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

void TestWidgets::previewFitsImage_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("copy");
    QTest::addColumn<QPoint>("offset");

    QTest::newRow("start-up strip") << QSize(2364, 474) << QSize(435, 87) << QPoint(0, 61);
    QTest::newRow("strip without border") << QSize(2362, 472) << QSize(435, 87) << QPoint(0, 61);
    QTest::newRow("square, 0.211 in single precision")
        << QSize(1000, 1000) << QSize(210, 210) << QPoint(112, 0);
    QTest::newRow("small square") << QSize(472, 472) << QSize(211, 211) << QPoint(112, 0);
    QTest::newRow("smaller than the widget") << QSize(100, 50) << QSize(100, 50) << QPoint(168, 80);
    QTest::newRow("exactly the widget") << QSize(436, 211) << QSize(436, 211) << QPoint(0, 0);
    QTest::newRow("same aspect, scaled by height")
        << QSize(872, 422) << QSize(436, 211) << QPoint(0, 0);
}

void TestWidgets::previewFitsImage()
{
    QFETCH(QSize, image);
    QFETCH(QSize, copy);
    QFETCH(QPoint, offset);

    Preview preview;
    preview.resize(436, 211);
    QImage source(image, QImage::Format_RGB32);
    source.fill(Qt::black);
    preview.setImage(&source);
    QVERIFY(preview.scaledCopy());
    QCOMPARE(preview.scaledCopy()->size(), copy);
    QCOMPARE(preview.offset(), offset);
}

void TestWidgets::previewIgnoresNull()
{
    Preview preview;
    preview.resize(436, 211);
    preview.setImage(nullptr);
    QVERIFY(!preview.scaledCopy());

    QImage source(100, 50, QImage::Format_RGB32);
    source.fill(Qt::black);
    preview.setImage(&source);
    preview.setImage(nullptr);
    QVERIFY(preview.scaledCopy());
    QCOMPARE(preview.scaledCopy()->size(), QSize(100, 50));
}

void TestWidgets::previewEmptyImageShowsOnlyBackground()
{
    Preview preview;
    preview.resize(436, 211);
    QImage source(100, 50, QImage::Format_RGB32);
    source.fill(Qt::black);
    preview.setImage(&source);
    const QImage empty;
    preview.setImage(&empty);
    QVERIFY(preview.scaledCopy());
    QVERIFY(preview.scaledCopy()->isNull());
}

void TestWidgets::previewKeepsOneCopy()
{
    Preview preview;
    preview.resize(436, 211);
    QImage first(2364, 474, QImage::Format_RGB32);
    first.fill(Qt::black);
    QImage second(100, 50, QImage::Format_RGB32);
    second.fill(Qt::white);
    preview.setImage(&first);
    preview.setImage(&second);
    // The copy is the preview's own: changing the source afterwards does not reach it.
    second.fill(Qt::black);
    QCOMPARE(preview.scaledCopy()->size(), QSize(100, 50));
    QCOMPARE(preview.scaledCopy()->pixel(50, 25), qRgb(255, 255, 255));
}

void TestWidgets::previewPaintsCopyOnBackground()
{
    Preview preview;
    preview.setAutoFillBackground(true);
    preview.resize(436, 211);
    preview.setBackgroundColor(Qt::red);
    QImage source(100, 50, QImage::Format_RGB32);
    source.fill(Qt::blue);
    preview.setImage(&source);

    const QImage shown = preview.grab().toImage();
    QCOMPARE(shown.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(167, 100), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(168, 80), QColor(Qt::blue));
    QCOMPARE(shown.pixelColor(267, 129), QColor(Qt::blue));
    QCOMPARE(shown.pixelColor(268, 129), QColor(Qt::red));
    // Only the Window role changes.
    QCOMPARE(preview.palette().color(QPalette::Disabled, QPalette::Window), QColor(Qt::red));
}

void TestWidgets::swatchPickStoresColourThenSignals()
{
    ColorSelector swatch;
    QPalette pal = swatch.palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::black));
    swatch.setPalette(pal);
    swatch.resize(61, 21);

    QList<QColor> seenInPalette;
    connect(&swatch, &ColorSelector::colorChanged, this,
        [&](const QColor &) { seenInPalette << swatchColor(swatch); });
    QSignalSpy spy(&swatch, &ColorSelector::colorChanged);

    const QColor picked(12, 200, 99);
    QColor openedWith;
    answerColorDialog(picked, &openedWith);
    QTest::mouseClick(&swatch, Qt::LeftButton);

    QCOMPARE(openedWith, QColor(Qt::black)); // the swatch's current colour, to adjust
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QColor>(), picked);
    QCOMPARE(seenInPalette, QList<QColor>() << picked);
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        QCOMPARE(swatch.palette().brush(group, QPalette::Window), QBrush(picked, Qt::SolidPattern));

    // Picking the same colour again still announces it.
    answerColorDialog(picked, &openedWith);
    QTest::mouseClick(&swatch, Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
}

void TestWidgets::swatchIgnoresOtherButtons_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestWidgets::swatchIgnoresOtherButtons()
{
    QFETCH(Qt::MouseButton, button);
    ColorSelector swatch;
    swatch.resize(61, 21);
    const QColor before = swatchColor(swatch);
    QSignalSpy spy(&swatch, &ColorSelector::colorChanged);
    bool dialogOpened = false;
    QTimer::singleShot(0, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            dialogOpened = true;
            modal->close();
        }
    });
    QTest::mouseClick(&swatch, button);
    QCoreApplication::processEvents();
    QVERIFY(!dialogOpened);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(swatchColor(swatch), before);
}

void TestWidgets::swatchCancelChangesNothing()
{
    ColorSelector swatch;
    swatch.resize(61, 21);
    const QColor before = swatchColor(swatch);
    QSignalSpy spy(&swatch, &ColorSelector::colorChanged);
    QColor openedWith;
    answerColorDialog(QColor(), &openedWith);
    QTest::mouseClick(&swatch, Qt::LeftButton);
    QVERIFY(openedWith.isValid()); // the dialog did open
    QCOMPARE(spy.count(), 0);
    QCOMPARE(swatchColor(swatch), before);
}

void TestWidgets::swatchCaptionPassesClicksOn()
{
    QWidget window;
    window.resize(100, 50);
    auto *swatch = new ColorSelector(&window);
    swatch->setGeometry(10, 10, 61, 21);
    auto *caption = new QLabel(QStringLiteral("Foreground"), swatch);
    caption->setGeometry(0, 0, 61, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QSignalSpy spy(swatch, &ColorSelector::colorChanged);
    QColor openedWith;
    answerColorDialog(Qt::yellow, &openedWith);
    QTest::mouseClick(caption, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(swatchColor(*swatch), QColor(Qt::yellow));
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
