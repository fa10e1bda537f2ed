// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"
#include "outsidetools.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QImageReader>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#ifndef QUVELTA_SANITIZED
// While set, operator new refuses blocks of a quarter megabyte or more: running out of memory
// on demand, whatever room the heap happens to have.
static std::atomic<bool> failLargeBlocks { false };

void *operator new(std::size_t size)
{
    if (failLargeBlocks && size >= (size_t(256) << 10))
        throw std::bad_alloc();
    if (void *block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void *block) noexcept
{
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}
#endif

// The window with its modal dialogs replaced: file names come from a list, errors are recorded.
class ScriptedForm : public MainForm
{
public:
    QStringList answers;
    QStringList captions;
    QStringList filters;
    QStringList errors;

protected:
    QString askSaveFileName(const QString &caption, const QString &filter) override
    {
        captions << caption;
        filters << filter;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void showError(const QString &text) override { errors << text; }
};

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // First, while the heap and the threads' arenas hold little spare room for the limit to
    // miss.
    void vectorSavesShortOfMemory_data();
    void vectorSavesShortOfMemory();

    void imageFormats_data();
    void imageFormats();
    void suffixAloneDecidesFormat();
    void cancelLeavesEverything();
    void savingRendersEvenWithAutoPreviewOff();
    void antialiasedOnlyWithQuality();
    void compactFilesKeepPixelsAndResolution_data();
    void compactFilesKeepPixelsAndResolution();

    void pdfPage_data();
    void pdfPage();
    void pdfHoldsThePixelsLosslessly_data();
    void pdfHoldsThePixelsLosslessly();
    void pdfPlacesPatternOneMarginIn();

    void failures_data();
    void failures();
    void jpegUpToItsLongestSide_data();
    void jpegUpToItsLongestSide();
    void specialFilesAreRefused_data();
    void specialFilesAreRefused();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

template<class T> static T *child(const MainForm &form, const char *name)
{
    return form.findChild<T *>(QLatin1String(name));
}

static int colourCount(const QImage &image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

static QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Numbers of the first match of `pattern` (a regular expression with numeric groups).
static QList<double> numbersIn(const QByteArray &data, const char *pattern)
{
    const QRegularExpressionMatch m
        = QRegularExpression(QLatin1String(pattern)).match(QString::fromLatin1(data));
    QList<double> numbers;
    for (int i = 1; i <= m.lastCapturedIndex(); ++i)
        numbers << m.captured(i).toDouble();
    return numbers;
}

static QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

void TestExport::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestExport::imageFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("png") << "a.png" << QByteArray("png") << true;
    QTest::newRow("bmp") << "a.bmp" << QByteArray("bmp") << true;
    QTest::newRow("tiff") << "a.tiff" << QByteArray("tiff") << true;
    QTest::newRow("tif") << "a.tif" << QByteArray("tiff") << true;
    QTest::newRow("jpg") << "a.jpg" << QByteArray("jpeg") << false;
    QTest::newRow("jpeg") << "a.jpeg" << QByteArray("jpeg") << false;
    QTest::newRow("upper-case suffix") << "A.PNG" << QByteArray("png") << true;
}

void TestExport::imageFormats()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, lossless);

    ScriptedForm form;
    form.answers << path(name);
    form.onSaveButton();
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
    QCOMPARE(form.captions, QStringList { QStringLiteral("Save encoder image") });
    QCOMPARE(form.filters,
        QStringList { QStringLiteral("Image Files (*.png *.jpg *.jpeg *.bmp *.tif *.tiff)") });

    QImageReader reader(path(name));
    QCOMPARE(reader.format(), format);
    const QImage saved = reader.read();
    QCOMPARE(saved.size(), QSize(2364, 474));
    // Stored as whole dots per inch in some formats: 600 dpi reads back as 23622 +- 1.
    QVERIFY2(qAbs(saved.dotsPerMeterX() - 23622) <= 1,
        qPrintable(QString::number(saved.dotsPerMeterX())));
    QVERIFY2(qAbs(saved.dotsPerMeterY() - 23622) <= 1,
        qPrintable(QString::number(saved.dotsPerMeterY())));
    if (lossless)
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), *form.currentImage());
}

void TestExport::suffixAloneDecidesFormat()
{
    ScriptedForm form;
    // Not in the dialog's filter, but Qt can write it.
    form.answers << path(QStringLiteral("b.ppm"));
    form.onSaveButton();
    QVERIFY(form.errors.isEmpty());
    QCOMPARE(QImageReader(path(QStringLiteral("b.ppm"))).format(), QByteArray("ppm"));
}

void TestExport::cancelLeavesEverything()
{
    ScriptedForm form;
    const QImage image = *form.currentImage();
    const int renders = form.renderCount();
    form.onSaveButton();
    form.onSavePDFButton();
    QCOMPARE(form.captions.size(), 2);
    QCOMPARE(form.renderCount(), renders);
    QCOMPARE(*form.currentImage(), image);
    QVERIFY(form.errors.isEmpty());
}

void TestExport::savingRendersEvenWithAutoPreviewOff()
{
    for (bool pdf : { false, true }) {
        ScriptedForm form;
        child<QCheckBox>(form, "autoPreviewCheck")->setChecked(false);
        child<QSpinBox>(form, "dpiSpin")->setValue(300);
        QCOMPARE(form.currentImage()->size(), QSize(2364, 474)); // the preview is out of date
        const QString name = path(pdf ? QStringLiteral("late.pdf") : QStringLiteral("late.png"));
        form.answers << name;
        pdf ? form.onSavePDFButton() : form.onSaveButton();
        QCOMPARE(form.currentImage()->size(), QSize(1182, 237));
        // The preview shows the saved pattern (one pixel short of the width: single precision).
        QCOMPARE(child<Preview>(form, "preview")->scaledCopy()->size(), QSize(435, 87));
        QVERIFY(QFileInfo::exists(name));
    }
}

void TestExport::antialiasedOnlyWithQuality()
{
    for (bool quality : { true, false }) {
        ScriptedForm form;
        child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
        child<QCheckBox>(form, "qualityCheck")->setChecked(quality);
        const QString name = path(QStringLiteral("disc-%1.png").arg(quality));
        form.answers << name;
        form.onSaveButton();
        const int colours = colourCount(QImage(name));
        QVERIFY2(quality ? colours > 2 : colours == 2, qPrintable(QString::number(colours)));
    }
}

void TestExport::compactFilesKeepPixelsAndResolution_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("antialias");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<int>("depth");
    QTest::newRow("plain png: 1 bit") << "png" << false << QColor(Qt::black) << 1;
    QTest::newRow("plain tiff: 1 bit") << "tiff" << false << QColor(Qt::black) << 1;
    QTest::newRow("coloured plain png: 1 bit") << "png" << false << QColor(200, 30, 60) << 1;
    QTest::newRow("antialiased grey png: 8 bit") << "png" << true << QColor(Qt::black) << 8;
    QTest::newRow("antialiased grey tiff: 8 bit") << "tiff" << true << QColor(Qt::black) << 8;
}

void TestExport::compactFilesKeepPixelsAndResolution()
{
    QFETCH(QString, suffix);
    QFETCH(bool, antialias);
    QFETCH(QColor, foreground);
    QFETCH(int, depth);

    ScriptedForm form;
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    child<QCheckBox>(form, "qualityCheck")->setChecked(antialias);
    auto *swatch = child<ColorSelector>(form, "foregroundColorWidget");
    QPalette pal = swatch->palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(foreground));
    swatch->setPalette(pal);

    const QString name = path(QStringLiteral("compact.") + suffix);
    form.answers << name;
    form.onSaveButton();
    QVERIFY(form.errors.isEmpty());
    const QImage saved(name);
    QCOMPARE(saved.depth(), depth);
    QCOMPARE(saved.dotsPerMeterX(), 23622);
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), *form.currentImage());
}

void TestExport::pdfPage_data()
{
    QTest::addColumn<bool>("disc");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QSizeF>("pageMm");
    QTest::addColumn<int>("margin");
    QTest::newRow("default bar") << false << 600 << QSizeF(120, 40) << 236;
    QTest::newRow("default disc") << true << 600 << QSizeF(60, 60) << 236;
    QTest::newRow("bar at 10 dpi") << false << 10 << QSizeF(120, 40) << 3;
    QTest::newRow("bar at 72 dpi") << false << 72 << QSizeF(120, 40) << 28;
    QTest::newRow("disc at 1200 dpi") << true << 1200 << QSizeF(60, 60) << 472;
}

void TestExport::pdfPage()
{
    QFETCH(bool, disc);
    QFETCH(int, dpi);
    QFETCH(QSizeF, pageMm);
    QFETCH(int, margin);

    ScriptedForm form;
    child<QRadioButton>(form, disc ? "circleRadioButton" : "barRadioButton")->setChecked(true);
    child<QSpinBox>(form, "dpiSpin")->setValue(dpi);
    const QString name = path(QStringLiteral("page.pdf"));
    form.answers << name;
    form.onSavePDFButton();
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
    QCOMPARE(form.filters, QStringList { QStringLiteral("PDF Files (*.pdf)") });

    const QByteArray pdf = readFile(name);
    const QList<double> box = numbersIn(pdf, R"(/MediaBox \[0 0 ([\d.]+) ([\d.]+)\])");
    QCOMPARE(box.size(), 2);
    QVERIFY2(
        qAbs(box[0] - pageMm.width() * 72 / 25.4) < 0.001, qPrintable(QString::number(box[0])));
    QVERIFY2(
        qAbs(box[1] - pageMm.height() * 72 / 25.4) < 0.001, qPrintable(QString::number(box[1])));
    QCOMPARE(QByteArray(pdf).count("/Type /Page "), 1);

    // The image is placed unscaled, its top-left corner `margin` device pixels from the edges.
    const QList<double> cm
        = numbersIn(pdf, R"(q ([\d.]+) 0 0 ([\d.]+) ([\d.]+) ([\d.]+) cm /Im0 Do Q)");
    QCOMPARE(cm.size(), 4);
    const double pointsPerPixel = 72.0 / dpi;
    const QImage *image = form.currentImage();
    QVERIFY(qAbs(cm[0] - image->width() * pointsPerPixel) < 0.001);
    QVERIFY(qAbs(cm[1] - image->height() * pointsPerPixel) < 0.001);
    QVERIFY(qAbs(cm[2] - margin * pointsPerPixel) < 0.001);
    QVERIFY(qAbs(box[1] - (cm[3] + cm[1]) - margin * pointsPerPixel) < 0.001);
}

void TestExport::pdfHoldsThePixelsLosslessly_data()
{
    QTest::addColumn<bool>("antialias");
    QTest::newRow("plain: 1-bit") << false;
    QTest::newRow("antialiased") << true;
}

void TestExport::pdfHoldsThePixelsLosslessly()
{
    QUVELTA_NEEDS("pdfimages");
    QFETCH(bool, antialias);
    ScriptedForm form;
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    child<QCheckBox>(form, "qualityCheck")->setChecked(antialias);
    const QString name = path(QStringLiteral("lossless.pdf"));
    form.answers << name;
    form.onSavePDFButton();

    const QString list
        = QString::fromLatin1(run(QStringLiteral("pdfimages"), { QStringLiteral("-list"), name }));
    const QStringList rows = list.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
    QCOMPARE(rows.size(), 1);
    QVERIFY2(
        rows.first().simplified().startsWith(QLatin1String("1 0 image 946 946")), qPrintable(list));

    const QString prefix = path(QStringLiteral("extracted"));
    run(QStringLiteral("pdfimages"), { QStringLiteral("-png"), name, prefix });
    const QImage extracted(prefix + QStringLiteral("-000.png"));
    QVERIFY(!extracted.isNull());
    QCOMPARE(extracted.convertToFormat(QImage::Format_RGB32),
        form.currentImage()->convertToFormat(QImage::Format_RGB32));
    QFile::remove(prefix + QStringLiteral("-000.png"));
}

void TestExport::pdfPlacesPatternOneMarginIn()
{
    QUVELTA_NEEDS("pdftoppm");
    ScriptedForm form;
    const QString name = path(QStringLiteral("placed.pdf"));
    form.answers << name;
    form.onSavePDFButton();
    const QString prefix = path(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-png"),
            QStringLiteral("-singlefile"), name, prefix });
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    QVERIFY(qAbs(page.width() - 2835) <= 1);
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 128) {
                left = qMin(left, x);
                top = qMin(top, y);
                right = qMax(right, x);
                bottom = qMax(bottom, y);
            }
        }
    }
    // The rasteriser may darken one more column or row at the far edges, never at the near ones.
    QCOMPARE(QPoint(left, top), QPoint(236, 236));
    QVERIFY2(qAbs(right + 1 - 2600) <= 1, qPrintable(QString::number(right)));
    QVERIFY2(qAbs(bottom + 1 - 710) <= 1, qPrintable(QString::number(bottom)));
}

void TestExport::failures_data()
{
    QTest::addColumn<bool>("pdf");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("emptyImage");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown suffix") << false << "keep.xyz" << false
                                    << "Can't write %1: unknown image format \"xyz\"; use .png, "
                                       ".jpg, .jpeg, .bmp, .tif or .tiff";
    QTest::newRow("no suffix") << false << "keep" << false
                               << "Can't write %1: the name has no suffix to choose the format; "
                                  "use .png, .jpg, .jpeg, .bmp, .tif or .tiff";
    QTest::newRow("missing folder") << false << "missing/x.png" << false << "Can't write %1: ";
    QTest::newRow("pdf in missing folder")
        << true << "missing/x.pdf" << false << "Can't write %1: ";
    QTest::newRow("folder as image name") << false << "folder.png" << false << "Can't write %1: ";
    QTest::newRow("image without pixels") << false << "keep.png" << true << "Can't render image";
    QTest::newRow("pdf without pixels") << true << "keep.pdf" << true << "Can't render image";
}

void TestExport::failures()
{
    QFETCH(bool, pdf);
    QFETCH(QString, name);
    QFETCH(bool, emptyImage);
    QFETCH(QString, message);

    QDir(dir.path()).mkpath(QStringLiteral("folder.png"));
    const QString target = path(name);
    const bool existed = name.startsWith(QLatin1String("keep"));
    if (existed) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }

    ScriptedForm form;
    if (emptyImage) {
        child<QDoubleSpinBox>(form, "heightSpin")->setValue(1);
        child<QSpinBox>(form, "dpiSpin")->setValue(10); // 1 mm at 10 dpi is 0 pixels
        child<QCheckBox>(form, "borderCheck")->setChecked(false);
    }
    const QStringList before
        = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    form.answers << target;
    pdf ? form.onSavePDFButton() : form.onSaveButton();

    QCOMPARE(form.errors.size(), 1);
    const QString expected = message.contains(QLatin1String("%1")) ? message.arg(target) : message;
    QVERIFY2(form.errors.first().startsWith(expected), qPrintable(form.errors.first()));
    QVERIFY(
        form.errors.first().size() > expected.size() || !expected.endsWith(QLatin1String(": ")));
    // Nothing new in the folder, and an existing file keeps its contents.
    QCOMPARE(
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    if (existed) {
        QCOMPARE(readFile(target), QByteArray("precious"));
        QFile::remove(target);
    }
}

void TestExport::jpegUpToItsLongestSide_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("written");
    QTest::newRow("longest width") << QSize(65500, 2) << true;
    QTest::newRow("a pixel wider") << QSize(65501, 2) << false;
    QTest::newRow("a pixel taller") << QSize(2, 65501) << false;
}

// Past libjpeg's longest side, the save says so before writing and leaves the old file.
void TestExport::jpegUpToItsLongestSide()
{
    QFETCH(QSize, size);
    QFETCH(bool, written);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QString target = path(QStringLiteral("long.jpg"));
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("precious");
    old.close();
    QString error;
    QCOMPARE(Export::writeImage(image, EncoderSettings(), Export::Format::Jpeg, target, &error),
        written);
    if (written) {
        QCOMPARE(QImageReader(target).size(), size);
    } else {
        QCOMPARE(error,
            QStringLiteral("Can't write %1: the image comes out %2 x %3 pixels, and a JPEG holds "
                           "at most 65500 pixels a side; save it as PNG, TIFF or BMP, or lower "
                           "the resolution")
                .arg(target)
                .arg(size.width())
                .arg(size.height()));
        QCOMPARE(readFile(target), QByteArray("precious"));
    }
    QFile::remove(target);
}

// Every save of the window, by the name a test gives it.
static void save(ScriptedForm &form, const QString &how)
{
    if (how == QLatin1String("image")) {
        form.onSaveButton();
    } else if (how == QLatin1String("pdf")) {
        form.onSavePDFButton();
    } else {
        const QList<QAction *> actions = form.actions();
        const auto a = std::find_if(actions.begin(), actions.end(),
            [&](const QAction *a) { return QString(a->text()).remove(QLatin1Char('&')) == how; });
        QVERIFY2(a != actions.end(), qPrintable(how));
        (*a)->trigger();
    }
}

void TestExport::specialFilesAreRefused_data()
{
    QTest::addColumn<QString>("how");
    for (const char *how : { "image", "pdf", "Save as SVG...", "Save as vector PDF...",
             "Save as DXF...", "Save decode table..." })
        QTest::newRow(how) << QString::fromLatin1(how);
}

// A FIFO without a reader would block the window until one came: refused at once, as a device is.
void TestExport::specialFilesAreRefused()
{
#ifndef Q_OS_UNIX
    QSKIP("FIFOs are a Unix matter");
#else
    QFETCH(QString, how);
    const QString fifo = path(QStringLiteral("pipe.csv"));
    QFile::remove(fifo);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &target : { fifo, QStringLiteral("/dev/null") }) {
        ScriptedForm form;
        form.answers << target;
        save(form, how);
        QCOMPARE(form.errors,
            QStringList { QStringLiteral("Can't write %1: not a regular file; the window saves "
                                         "files only (quvelta-render writes into FIFOs and "
                                         "devices)")
                              .arg(target) });
    }
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QFile::remove(fifo);
#endif
}

void TestExport::vectorSavesShortOfMemory_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("name");
    QTest::newRow("svg") << "Save as SVG..."
                         << "short.svg";
    QTest::newRow("vector pdf") << "Save as vector PDF..."
                                << "short.pdf";
    QTest::newRow("dxf") << "Save as DXF..."
                         << "short.dxf";
    // The decode table fits in what the heap has spare; tst_cli limits it as a process.
}

// With two megabytes to spare, the drawing of a 16-bit disc does not fit: one error box, the
// old file kept; with the limit lifted the same save succeeds.
void TestExport::vectorSavesShortOfMemory()
{
#ifdef QUVELTA_SANITIZED
    QSKIP("the sanitizers have their own operator new");
#else
    QFETCH(QString, how);
    QFETCH(QString, name);
    const QString target = path(name);
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    ScriptedForm form;
    child<QCheckBox>(form, "autoPreviewCheck")->setChecked(false);
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    child<QDoubleSpinBox>(form, "outerRadiusSpin")->setValue(100);
    child<QSpinBox>(form, "pairsBitsSpin")->setValue(16);
    // The read-out's read-back runs beside the window; it must not meet the failing blocks.
    QThreadPool::globalInstance()->waitForDone();

    // Every block of a quarter megabyte or more fails, as when the address space runs out: the
    // drawing of a 16-bit disc needs several.
    form.answers << target;
    failLargeBlocks = true;
    save(form, how);
    failLargeBlocks = false;
    QCOMPARE(
        form.errors, QStringList { QStringLiteral("not enough memory to write %1").arg(target) });
    QCOMPARE(readFile(target), QByteArray("precious"));
    QCOMPARE(QDir(dir.path()).entryList({ QStringLiteral(".qv.*") }, QDir::Files | QDir::Hidden),
        QStringList());

    form.errors.clear();
    form.answers << target;
    save(form, how);
    QCOMPARE(form.errors, QStringList());
    QVERIFY(readFile(target).size() > 100000);
    QFile::remove(target);
#endif
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
