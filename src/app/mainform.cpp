#include "mainform.h"

#include "codes.h"
#include "decodetable.h"
#include "description.h"
#include "exporter.h"
#include "exporterror.h"
#include "imagewriter.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "problems.h"
#include "readback.h"
#include "renderer.h"
#include "vectorwriter.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QTabBar>
#include <QTextLayout>
#include <QThreadPool>

#include <optional>

namespace {

QColor swatchColor(const QWidget *swatch)
{
    return swatch->palette().brush(QPalette::Current, QPalette::Window).color();
}

void setCaptionColor(QWidget *caption, const QColor &color)
{
    QPalette pal = caption->palette();
    pal.setBrush(QPalette::All, QPalette::WindowText, QBrush(color, Qt::SolidPattern));
    caption->setPalette(pal);
}

// Shows the wait cursor for the life of the object, when asked to.
class WaitCursor
{
public:
    explicit WaitCursor(bool show) : shown(show)
    {
        if (shown)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor()
    {
        if (shown)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool shown;
};

// Whether a caption fits its fixed rectangle in its current font.
bool captionFits(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
    if (const auto *box = qobject_cast<const QCheckBox *>(widget))
        return box->text().isEmpty() || box->sizeHint().width() <= box->width();
    if (const auto *button = qobject_cast<const QPushButton *>(widget))
        return button->fontMetrics().horizontalAdvance(button->text()) + 6 <= button->width();
    return true;
}

// Shrinks a caption's own font by the least that makes its text fit, never below 8 pixels and
// never larger than it was.
void shrinkToFit(QWidget *caption)
{
    if (captionFits(caption))
        return;
    QFont font = caption->font();
    const QFontInfo info(font);
    for (int pixels = info.pixelSize() - 1; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        caption->setFont(font);
        if (captionFits(caption))
            return;
    }
}

// The read-out: its text() is the whole text; it shows as many wrapped lines as its rectangle
// holds, the last one ending in an ellipsis when some is left out.
class ReadOutLabel : public QLabel
{
public:
    ReadOutLabel() { setWordWrap(true); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect room = contentsRect();
        const int step = MainForm::readOutLineStep(font());
        int y = room.top() + step - fontMetrics().descent();
        for (const QString &line : MainForm::fitLines(text(), font(), room.size())) {
            painter.drawText(room.left(), y, line);
            y += step;
        }
    }
};

// Renders above this many pixels take long enough to notice.
constexpr qint64 slowRenderPixels = 4'000'000;

}

MainForm::MainForm() : QMainWindow(nullptr)
{
    ui.setupUi(this);
    fitFontToCaptions();
    setupExtrasPage();
    setupActions();

    connectControls();
    setFixedSize(width(), height());
    renderEncoder(true);
}

MainForm::~MainForm() = default;

namespace {

void setSwatchColor(QWidget *swatch, const QColor &color)
{
    QPalette pal = swatch->palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(color, Qt::SolidPattern));
    swatch->setPalette(pal);
}

}

void MainForm::restoreSettings()
{
    keepsSettings = true;
    QSettings store;
    store.beginGroup(QStringLiteral("window"));
    const auto has = [&store](const char *key) { return store.contains(QLatin1String(key)); };
    const auto flag
        = [&store](const char *key) { return store.value(QLatin1String(key)).toBool(); };
    const auto number
        = [&store](const char *key) { return store.value(QLatin1String(key)).toInt(); };
    const auto check = [&](QAbstractButton *box, const char *key) {
        if (has(key))
            box->setChecked(flag(key));
    };
    const auto spin = [&](QSpinBox *box, const char *key) {
        if (has(key))
            box->setValue(number(key));
    };
    // One render at the end, not one per value.
    restoring = true;
    if (has("disc"))
        (flag("disc") ? ui.circleRadioButton : ui.barRadioButton)->setChecked(true);
    // The type sets the count's range and a count of its own, so it comes first.
    if (has("relative"))
        (flag("relative") ? ui.relativeRadioButton : ui.absoluteRadioButton)->setChecked(true);
    spin(ui.pairsBitsSpin, "count");
    check(ui.bitOrderButton, "msbFirst");
    check(ui.grayCodeCheck, "grayCode");
    spin(ui.widthSpin, "width");
    spin(ui.heightSpin, "height");
    // Each radius bounds the other: the inner one out of the way first.
    if (has("innerRadius") && has("outerRadius")) {
        ui.innerRadiusSpin->setValue(0);
        spin(ui.outerRadiusSpin, "outerRadius");
        spin(ui.innerRadiusSpin, "innerRadius");
    }
    check(ui.borderCheck, "border");
    if (has("borderWidth"))
        ui.borderSpin->setValue(store.value(QStringLiteral("borderWidth")).toDouble());
    check(ui.centerMarkCheck, "centerMark");
    spin(ui.dpiSpin, "dpi");
    check(ui.qualityCheck, "highQuality");
    for (const auto &[swatch, key] : { std::pair { ui.foregroundColorWidget, "foreground" },
             std::pair { ui.backgroundColorWidget, "background" } }) {
        const QColor color(store.value(QLatin1String(key)).toString());
        if (color.isValid())
            setSwatchColor(swatch, color);
    }
    onColorChanged(QColor());
    check(more.positionsCheck, "positionsOn");
    spin(more.positionsSpin, "positions");
    if (has("code"))
        more.codeCombo->setCurrentIndex(std::clamp(number("code"), 0, more.codeCombo->count() - 1));
    check(more.quadratureCheck, "quadrature");
    check(more.indexCheck, "index");
    check(more.classicPixelsCheck, "classicPixels");
    check(more.calibrationCheck, "ruler");
    if (has("markBias"))
        more.markBiasSpin->setValue(store.value(QStringLiteral("markBias")).toDouble());
    check(ui.autoPreviewCheck, "autoPreview");
    restoring = false;
    updateExtrasEnabled();
    // Values kept from a run that could not all be drawn: their reason is on the More page.
    QString problem;
    settings(&problem);
    if (!problem.isEmpty())
        ui.optionsTab->setCurrentIndex(2);
    renderEncoder(ui.autoPreviewCheck->isChecked());
}

void MainForm::saveSettings() const
{
    QSettings store;
    store.beginGroup(QStringLiteral("window"));
    const auto put = [&store](const char *key, const QVariant &value) {
        store.setValue(QLatin1String(key), value);
    };
    put("disc", ui.circleRadioButton->isChecked());
    put("relative", ui.relativeRadioButton->isChecked());
    put("count", ui.pairsBitsSpin->value());
    put("msbFirst", ui.bitOrderButton->isChecked());
    put("grayCode", ui.grayCodeCheck->isChecked());
    put("width", ui.widthSpin->value());
    put("height", ui.heightSpin->value());
    put("outerRadius", ui.outerRadiusSpin->value());
    put("innerRadius", ui.innerRadiusSpin->value());
    put("border", ui.borderCheck->isChecked());
    put("borderWidth", ui.borderSpin->value());
    put("centerMark", ui.centerMarkCheck->isChecked());
    put("dpi", ui.dpiSpin->value());
    put("highQuality", ui.qualityCheck->isChecked());
    put("autoPreview", ui.autoPreviewCheck->isChecked());
    put("foreground", swatchColor(ui.foregroundColorWidget).name(QColor::HexArgb));
    put("background", swatchColor(ui.backgroundColorWidget).name(QColor::HexArgb));
    put("positionsOn", more.positionsCheck->isChecked());
    put("positions", more.positionsSpin->value());
    put("code", more.codeCombo->currentIndex());
    put("quadrature", more.quadratureCheck->isChecked());
    put("index", more.indexCheck->isChecked());
    put("classicPixels", more.classicPixelsCheck->isChecked());
    put("ruler", more.calibrationCheck->isChecked());
    put("markBias", more.markBiasSpin->value());
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (keepsSettings)
        saveSettings();
    QMainWindow::closeEvent(event);
}

void MainForm::connectControls()
{
    connect(
        ui.backgroundColorWidget, &ColorSelector::colorChanged, this, &MainForm::onColorChanged);
    connect(
        ui.foregroundColorWidget, &ColorSelector::colorChanged, this, &MainForm::onColorChanged);
    connect(ui.borderCheck, &QCheckBox::stateChanged, this, &MainForm::onBorderCheckChange);
    connect(ui.borderSpin, &QDoubleSpinBox::valueChanged, this, &MainForm::onBorderWidthChange);
    connect(ui.dpiSpin, &QSpinBox::valueChanged, this, &MainForm::onDPIChanged);
    connect(ui.widthSpin, &QSpinBox::valueChanged, this, &MainForm::onWidthChanged);
    connect(ui.heightSpin, &QSpinBox::valueChanged, this, &MainForm::onHeightChanged);
    connect(ui.innerRadiusSpin, &QSpinBox::valueChanged, this, &MainForm::onInnerRadiusChanged);
    connect(ui.outerRadiusSpin, &QSpinBox::valueChanged, this, &MainForm::onOuterRadiusChanged);
    connect(ui.centerMarkCheck, &QCheckBox::stateChanged, this, &MainForm::onCenterMark);
    connect(ui.autoPreviewCheck, &QCheckBox::stateChanged, this, &MainForm::onAutoPreviewChanged);
    connect(ui.previewButton, &QPushButton::pressed, this, &MainForm::onPreviewPressed);
    connect(ui.bitOrderButton, &QPushButton::toggled, this, &MainForm::onBitOrderToggled);
    connect(ui.pairsBitsSpin, &QSpinBox::valueChanged, this, &MainForm::onPairsBitsChanged);
    connect(ui.grayCodeCheck, &QCheckBox::stateChanged, this, &MainForm::onGrayCodeChanged);
    connect(ui.barRadioButton, &QRadioButton::toggled, this, &MainForm::onShapeToggled);
    connect(ui.absoluteRadioButton, &QRadioButton::toggled, this, &MainForm::onTypeToggled);

    connect(ui.saveButton, &QPushButton::pressed, this, &MainForm::onSaveButton);
    connect(ui.savePDFButton, &QPushButton::pressed, this, &MainForm::onSavePDFButton);
}

void MainForm::fitFontToCaptions()
{
    // The form's fixed rectangles were laid out for an 11-pixel interface font. The desktop's
    // font stays, larger ones for accessibility too; only a caption that does not fit its
    // rectangle gets a smaller font of its own.
    QList<QWidget *> captions;
    for (QLabel *label : findChildren<QLabel *>())
        captions << label;
    for (QCheckBox *box : findChildren<QCheckBox *>())
        captions << box;
    for (QPushButton *button : findChildren<QPushButton *>())
        captions << button;
    for (QWidget *caption : captions) {
        if (caption == ui.pairsBitsLabel) {
            caption->setProperty("text", tr("Pairs")); // the wider of its two captions
            shrinkToFit(caption);
            caption->setProperty("text", tr("Bits"));
        } else if (caption == ui.bitOrderButton) {
            ui.bitOrderButton->setText(tr("MSB ---> LSB"));
            shrinkToFit(caption);
            ui.bitOrderButton->setText(tr("LSB ---> MSB"));
        } else {
            shrinkToFit(caption);
        }
    }
}

EncoderSettings MainForm::settings(QString *problem) const
{
    EncoderSettings s;
    s.shape = ui.circleRadioButton->isChecked() ? Shape::Disc : Shape::Strip;
    s.type = ui.absoluteRadioButton->isChecked() ? EncoderType::Absolute : EncoderType::Relative;
    // The Gray box speaks only for discs: the form draws strips in binary.
    s.code = ui.grayCodeCheck->isChecked() && ui.circleRadioButton->isChecked() ? Code::Gray
                                                                                : Code::Binary;
    s.bitOrder = ui.bitOrderButton->isChecked() ? BitOrder::MsbToLsb : BitOrder::LsbToMsb;
    s.bits = s.pairs = ui.pairsBitsSpin->value();
    s.widthMm = ui.widthSpin->value();
    s.heightMm = ui.heightSpin->value();
    s.outerRadiusMm = ui.outerRadiusSpin->value();
    s.innerRadiusMm = ui.innerRadiusSpin->value();
    s.border = ui.borderCheck->isChecked();
    s.borderWidthMm = ui.borderSpin->value();
    s.centerMark = ui.centerMarkCheck->isChecked();
    s.dpi = ui.dpiSpin->value();
    s.foreground = swatchColor(ui.foregroundColorWidget);
    s.background = swatchColor(ui.backgroundColorWidget);
    if (!more.codeCombo)
        return s;

    // The third page: nothing it asks for changes the pattern while it is at its defaults. What
    // cannot be drawn falls back to the form's pattern; the first reason, in the command line's
    // words, is the one given.
    QString why;
    const auto refuse = [&why](const QString &reason) {
        if (why.isEmpty())
            why = reason;
    };
    const bool disc = s.shape == Shape::Disc;
    if (s.type == EncoderType::Absolute) {
        if (more.positionsCheck->isChecked())
            s.positions = more.positionsSpin->value();
        switch (more.codeCombo->currentIndex()) {
        case 1:
            s.code = Code::Binary;
            break;
        case 2:
            s.code = Code::Gray;
            break;
        case 3:
            if (!disc) {
                refuse(tr("a single-track code is read round a disc; use --shape disc"));
                break;
            }
            s.code = Code::SingleTrack;
            if (s.positions == 0)
                s.positions = 360;
            if (const QString problem = Problems::singleTrack(s); !problem.isEmpty()) {
                refuse(problem);
                s.code = ui.grayCodeCheck->isChecked() ? Code::Gray : Code::Binary;
                s.positions = 0;
            }
            break;
        default:
            break;
        }
        if (const QString problem = Problems::oddGrayRound(s); !problem.isEmpty()) {
            refuse(problem);
            s.positions = 0;
        }
    } else {
        s.quadrature = more.quadratureCheck->isChecked();
        s.index = more.indexCheck->isChecked();
        if (const QString room = trackRoomProblem(s); !room.isEmpty()) {
            refuse(room);
            s.quadrature = s.index = false;
        }
    }
    s.classicPixels = more.classicPixelsCheck->isChecked();
    s.calibration = more.calibrationCheck->isChecked();
    s.markBiasMm = more.markBiasSpin->value();
    if (const QString bias = markBiasProblem(s); !bias.isEmpty()) {
        refuse(bias);
        s.markBiasMm = 0;
    }
    if (const QString problem = Problems::stripIndex(s); !problem.isEmpty()) {
        refuse(problem);
        s.index = false;
    }
    // Asked for together, classic pixels are drawn exact: not what the box says.
    refuse(Problems::classicPixels(s));
    if (problem)
        *problem = why;
    return s;
}

bool MainForm::refused(bool vector)
{
    QString problem;
    const EncoderSettings s = settings(&problem);
    // Outlines are always exact, not the classic pixels the preview shows. Short of memory for
    // the outlines, the writer itself says so.
    try {
        if (vector && (s.classicPixels || problem.isEmpty()))
            problem = Problems::vector(s);
    } catch (const std::bad_alloc &) { }
    if (problem.isEmpty())
        return false;
    showError(problem);
    return true;
}

void MainForm::updateTitle()
{
    const EncoderSettings s = settings();
    const QSize size = patternImageSize(s);
    imageWidth = size.width();
    imageHeight = size.height();
    setWindowTitle(QStringLiteral("Quvelta by ardin51, %1 x %2").arg(imageWidth).arg(imageHeight));
    updateNarrowest();
}

void MainForm::renderEncoder(bool autoPreview)
{
    if (restoring)
        return;
    updateTitle();
    if (autoPreview && !ui.autoPreviewCheck->isChecked())
        return;

    const bool antialias = ui.qualityCheck->isChecked() && !autoPreview;
    const WaitCursor wait(qint64(imageWidth) * imageHeight > slowRenderPixels);
    // Let the old image go first: at the largest size each one is 375 MB.
    image.reset();
    image = renderEncoderImage(settings(), antialias);
    ++renders;
    ui.preview->setImage(&*image);
    if (image->isNull() && imageWidth > 0 && imageHeight > 0)
        showError(Export::notEnoughMemory(QSize(imageWidth, imageHeight)));
}

QColor MainForm::invertColor(const QColor &color)
{
    QColor inverted;
    inverted.setRgb(255 - color.red(), 255 - color.green(), 255 - color.blue(), 255);
    return inverted;
}

void MainForm::updateGrayCodeEnabled()
{
    ui.grayCodeCheck->setEnabled(
        ui.circleRadioButton->isChecked() && ui.absoluteRadioButton->isChecked());
}

void MainForm::onColorChanged(QColor /*color*/)
{
    const QColor background = swatchColor(ui.backgroundColorWidget);
    setCaptionColor(ui.backgroundLabel, invertColor(background));
    setCaptionColor(ui.foregroundLabel, invertColor(swatchColor(ui.foregroundColorWidget)));
    ui.preview->setBackgroundColor(background);
    renderEncoder(true);
}

void MainForm::onDPIChanged(int /*dpi*/)
{
    renderEncoder(true);
}

void MainForm::onBorderCheckChange(int /*state*/)
{
    renderEncoder(true);
}

void MainForm::onBorderWidthChange(double /*borderWidth*/)
{
    renderEncoder(true);
}

void MainForm::onWidthChanged(int /*width*/)
{
    if (ui.barRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onHeightChanged(int /*height*/)
{
    if (ui.barRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onInnerRadiusChanged(int innerRadius)
{
    ui.outerRadiusSpin->setMinimum(innerRadius + 1);
    if (ui.circleRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onOuterRadiusChanged(int outerRadius)
{
    ui.innerRadiusSpin->setMaximum(outerRadius - 1);
    if (ui.circleRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onCenterMark(int /*state*/)
{
    if (ui.circleRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onAutoPreviewChanged(int /*state*/)
{
    const bool automatic = ui.autoPreviewCheck->isChecked();
    ui.previewButton->setEnabled(!automatic);
    if (automatic)
        renderEncoder(true);
}

void MainForm::onPreviewPressed()
{
    renderEncoder(false);
}

void MainForm::onBitOrderToggled(bool checked)
{
    ui.bitOrderButton->setText(checked ? tr("MSB ---> LSB") : tr("LSB ---> MSB"));
    renderEncoder(true);
}

void MainForm::onPairsBitsChanged(int value)
{
    // A first change to 0 moves the value to 1, which re-enters here and renders once; no render
    // ever sees a count of 0.
    ui.pairsBitsSpin->setMinimum(1);
    if (value != 0)
        renderEncoder(true);
}

void MainForm::onGrayCodeChanged(int /*state*/)
{
    renderEncoder(true);
}

void MainForm::onShapeToggled(bool bar)
{
    ui.optionsTab->setCurrentIndex(bar ? 0 : 1);
    updateGrayCodeEnabled();
    renderEncoder(true);
}

void MainForm::onTypeToggled(bool absolute)
{
    // The count is set before the maximum is lowered and after it is raised, so the old maximum
    // never clamps it.
    if (absolute) {
        ui.pairsBitsLabel->setText(tr("Bits"));
        ui.pairsBitsSpin->setValue(4);
        ui.pairsBitsSpin->setMaximum(10);
        ui.bitOrderButton->setEnabled(true);
    } else {
        ui.pairsBitsLabel->setText(tr("Pairs"));
        ui.pairsBitsSpin->setMaximum(1024);
        ui.pairsBitsSpin->setValue(16);
        ui.bitOrderButton->setEnabled(false);
    }
    updateGrayCodeEnabled();
    renderEncoder(true);
}

QString MainForm::askSaveFileName(const QString &caption, const QString &filter)
{
    return QFileDialog::getSaveFileName(this, caption, QString(), filter);
}

QString MainForm::chooseSaveFile(const QString &caption, const QString &filter)
{
    const QString fileName = askSaveFileName(caption, filter);
    // Opening a FIFO waits for a reader and a device may never answer: the window would freeze.
    const QFileInfo info(fileName);
    if (!fileName.isEmpty() && info.exists() && !info.isFile() && !info.isDir()) {
        showError(cantWrite(fileName,
            tr("not a regular file; the window saves files only (quvelta-render writes into "
               "FIFOs and devices)")));
        return QString();
    }
    return fileName;
}

void MainForm::showError(const QString &text)
{
    QMessageBox::critical(this, tr("Error"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

void MainForm::renderAndWrite(const std::function<bool(QString *error)> &write)
{
    QString error;
    {
        const WaitCursor wait(true);
        renderEncoder(false);
        // An image without pixels would make an empty file or a blank page; one that could
        // not be had for want of memory has been reported.
        if (!image || image->isNull()) {
            if (imageWidth <= 0 || imageHeight <= 0)
                error = tr("Can't render image");
        } else {
            write(&error);
        }
    }
    if (!error.isEmpty())
        showError(error);
}

void MainForm::onSaveButton()
{
    if (refused())
        return;
    const QString fileName = chooseSaveFile(QObject::tr("Save encoder image"),
        QObject::tr("Image Files (*.png *.jpg *.jpeg *.bmp *.tif *.tiff)"));
    if (fileName.isEmpty())
        return;
    renderAndWrite(
        [&](QString *error) { return ImageExport::writeImageFile(*image, fileName, error); });
}

void MainForm::onSavePDFButton()
{
    if (refused())
        return;
    const QString fileName
        = chooseSaveFile(QObject::tr("Save encoder image"), QObject::tr("PDF Files (*.pdf)"));
    if (fileName.isEmpty())
        return;
    renderAndWrite([&](QString *error) {
        return Export::writeImage(*image, settings(), Export::Format::Pdf, fileName, error);
    });
}

void MainForm::setupExtrasPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("moreTab"));
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(3, 1, 3, 1);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(0);

    more.positionsCheck = new QCheckBox(tr("Positions"));
    more.positionsCheck->setToolTip(tr("Any number of positions instead of 2^bits"));
    more.positionsSpin = new QSpinBox;
    more.positionsSpin->setRange(2, 65536);
    more.positionsSpin->setValue(360);
    more.codeCombo = new QComboBox;
    more.codeCombo->addItems(
        { tr("Code as on the form"), tr("Binary code"), tr("Gray code"), tr("Single-track code") });
    more.quadratureCheck = new QCheckBox(tr("A/B"));
    more.quadratureCheck->setToolTip(tr("Quadrature: channels A and B a quarter period apart"));
    more.indexCheck = new QCheckBox(tr("Index"));
    more.indexCheck->setToolTip(tr("One index mark per turn or strip"));
    more.classicPixelsCheck = new QCheckBox(tr("Classic pixels"));
    more.classicPixelsCheck->setToolTip(tr("Whole-pixel tracks and segments, truncated as older "
                                           "files were; their edges can be off by pixels"));
    more.calibrationCheck = new QCheckBox(tr("Ruler"));
    more.calibrationCheck->setToolTip(
        tr("Calibration rulers and a legend beside the pattern in images and PDF"));
    auto *biasLabel = new QLabel(tr("Bias [mm]"));
    more.markBiasSpin = new QDoubleSpinBox;
    more.markBiasSpin->setRange(-0.5, 0.5);
    more.markBiasSpin->setSingleStep(0.01);
    more.markBiasSpin->setDecimals(2);
    more.markBiasSpin->setToolTip(tr("Every mark wider by this much; negative for ink spread"));
    more.narrowestLabel = new ReadOutLabel;

    grid->addWidget(more.positionsCheck, 0, 0);
    grid->addWidget(more.positionsSpin, 0, 1);
    grid->addWidget(more.codeCombo, 1, 0, 1, 2);
    grid->addWidget(more.quadratureCheck, 2, 0);
    grid->addWidget(more.indexCheck, 2, 1);
    grid->addWidget(more.classicPixelsCheck, 3, 0);
    grid->addWidget(more.calibrationCheck, 3, 1);
    grid->addWidget(biasLabel, 4, 0);
    grid->addWidget(more.markBiasSpin, 4, 1);
    grid->addWidget(more.narrowestLabel, 5, 0, 1, 2);
    // Small controls so that the page fits the tab's fixed rectangle.
    for (QWidget *w : page->findChildren<QWidget *>()) {
        QFont small = w->font();
        small.setPixelSize(std::min(QFontInfo(small).pixelSize(), 10));
        w->setFont(small);
        w->setMaximumHeight(14);
    }
    more.narrowestLabel->setMaximumHeight(26);
    QFont tiny = more.narrowestLabel->font();
    tiny.setPixelSize(std::min(QFontInfo(tiny).pixelSize(), 9));
    more.narrowestLabel->setFont(tiny);
    ui.optionsTab->addTab(page, tr("More"));
    // Three tabs in the fixed rectangle: only the tab bar's font shrinks, by the least that fits.
    QTabBar *bar = ui.optionsTab->tabBar();
    QFont tabFont = bar->font();
    for (int pixels = QFontInfo(tabFont).pixelSize(); pixels >= 8; --pixels) {
        tabFont.setPixelSize(pixels);
        bar->setFont(tabFont);
        if (bar->sizeHint().width() <= ui.optionsTab->width())
            break;
    }

    for (QCheckBox *box : { more.positionsCheck, more.quadratureCheck, more.indexCheck,
             more.classicPixelsCheck, more.calibrationCheck })
        connect(box, &QCheckBox::toggled, this, &MainForm::onExtrasChanged);
    connect(more.positionsSpin, &QSpinBox::valueChanged, this, &MainForm::onExtrasChanged);
    connect(more.codeCombo, &QComboBox::currentIndexChanged, this, &MainForm::onExtrasChanged);
    connect(more.markBiasSpin, &QDoubleSpinBox::valueChanged, this, &MainForm::onExtrasChanged);
    // The form's own switches change what applies here.
    connect(ui.barRadioButton, &QRadioButton::toggled, this, &MainForm::updateExtrasEnabled);
    connect(ui.absoluteRadioButton, &QRadioButton::toggled, this, &MainForm::updateExtrasEnabled);
    updateExtrasEnabled();
}

void MainForm::setupActions()
{
    const auto action = [this](const QString &text, QKeySequence key, auto slot) {
        auto *a = new QAction(text, this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        ui.preview->addAction(a);
        return a;
    };
    action(tr("Copy image"), QKeySequence::Copy, &MainForm::onCopyImage);
    action(tr("Save as SVG..."), QKeySequence(), [this] { onSaveVector(Export::Format::Svg); });
    action(
        tr("Save as vector PDF..."), QKeySequence(), [this] { onSaveVector(Export::Format::Pdf); });
    action(tr("Save as DXF..."), QKeySequence(), [this] { onSaveVector(Export::Format::Dxf); });
    QAction *table
        = action(tr("Save decode table..."), QKeySequence(), &MainForm::onSaveDecodeTable);
    table->setObjectName(QStringLiteral("decodeTableAction"));
    action(tr("Print..."), QKeySequence::Print, &MainForm::onPrint);
    ui.preview->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MainForm::updateExtrasEnabled()
{
    if (!more.codeCombo)
        return;
    const bool absolute = ui.absoluteRadioButton->isChecked();
    more.positionsCheck->setEnabled(absolute);
    more.positionsSpin->setEnabled(absolute && more.positionsCheck->isChecked());
    more.codeCombo->setEnabled(absolute);
    more.quadratureCheck->setEnabled(!absolute);
    more.indexCheck->setEnabled(!absolute);
    if (QAction *table = findChild<QAction *>(QStringLiteral("decodeTableAction")))
        table->setEnabled(absolute);
}

void MainForm::updateNarrowest()
{
    if (!more.narrowestLabel)
        return;
    QString problem;
    const EncoderSettings s = settings(&problem);
    ++readBackGeneration;
    if (!problem.isEmpty()) {
        showReadOut(problem, true, QString());
        return;
    }
    double mark = std::numeric_limits<double>::infinity();
    double gap = mark;
    bool thin = false;
    try {
        for (const PatternGeometry::Widths &w : patternGeometry(s).narrowest()) {
            mark = std::min(mark, w.mark);
            gap = std::min(gap, w.gap);
        }
        thin = !thinTrackWarning(s).isEmpty();
    } catch (const std::bad_alloc &) {
        showReadOut(tr("Not enough memory to measure the pattern"), true, QString());
        return;
    }
    const double dots = s.dpi / 25.4;
    const auto cell = [dots](double mm) {
        return std::isinf(mm) ? QStringLiteral("-")
                              : QStringLiteral("%1 mm = %2 px")
                                    .arg(mm, 0, 'g', 3)
                                    .arg(mm * dots, 0, 'f', mm * dots < 10 ? 1 : 0);
    };
    const QString widths = tr("Narrowest mark %1\nNarrowest gap %2").arg(cell(mark), cell(gap));
    showReadOut(widths, thin, QString());
    // Reading every step of a fine code back takes a moment: it runs beside the window, and
    // only the answer for the latest settings is shown.
    const int generation = readBackGeneration;
    const bool antialias = ui.qualityCheck->isChecked();
    QPointer<MainForm> self(this);
    QThreadPool::globalInstance()->start([self, s, antialias, generation, widths, thin, mark, gap,
                                             cell] {
        std::optional<ReadBack> reading;
        try {
            reading = readBack(s, antialias);
        } catch (const std::bad_alloc &) { }
        QMetaObject::invokeMethod(qApp, [=] {
            if (!self || self->readBackGeneration != generation || !reading)
                return;
            const QString table
                = QStringLiteral("<pre>%1</pre>").arg(readBackReport(*reading, 0).toHtmlEscaped());
            if (reading->reads())
                self->showReadOut(widths, thin, table);
            else
                self->showReadOut(tr("Narrowest mark %1, gap %2\nDoes not read: %3")
                                      .arg(cell(mark), cell(gap), reading->failingTracks()),
                    true, table);
        });
    });
}

QStringList MainForm::fitLines(const QString &text, const QFont &font, const QSize &room)
{
    const QFontMetrics metrics(font);
    const int most = std::max(1, room.height() / readOutLineStep(font));
    const auto cut = [&](const QStringList &parts) {
        return metrics.elidedText(parts.join(QLatin1Char(' ')), Qt::ElideRight, room.width());
    };
    QStringList lines;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString &paragraph : paragraphs) {
        QTextLayout layout(paragraph, font);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(room.width());
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    if (lines.size() <= most)
        return lines;
    // Too many: paragraphs keep a line each where they can, else the last line that shows takes
    // the rest, cut to the width.
    if (paragraphs.size() > 1 && paragraphs.size() >= most) {
        lines.clear();
        for (int i = 0; i < most - 1; ++i)
            lines << cut({ paragraphs[i] });
        lines << cut(paragraphs.mid(most - 1));
        return lines;
    }
    const QStringList shown = lines.mid(0, most - 1);
    return shown + QStringList { cut(lines.mid(most - 1)) };
}

int MainForm::readOutLineStep(const QFont &font)
{
    // Lines 1.25 times the font's size apart, closer than its own spacing: two lines of the small
    // read-out then fit where the page has room left.
    return std::max(1, (QFontInfo(font).pixelSize() * 5 + 3) / 4);
}

void MainForm::showReadOut(const QString &text, bool red, const QString &details)
{
    more.narrowestLabel->setText(text);
    // The whole text first: the label may show only its beginning.
    const QString whole
        = QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped().replace(QLatin1Char('\n'), "<br>"));
    more.narrowestLabel->setToolTip(whole
        + (details.isEmpty()
                ? tr("<p>The narrowest mark and gap of the pattern; red where a track vanishes at "
                     "this DPI or would not read</p>")
                : details));
    QPalette pal = more.narrowestLabel->palette();
    pal.setColor(
        QPalette::WindowText, red ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    more.narrowestLabel->setPalette(pal);
}

void MainForm::onExtrasChanged()
{
    updateExtrasEnabled();
    renderEncoder(true);
}

namespace {

// Whether an image of `size` pixels at `dpi`, placed `margin` pixels from the paper's left and
// top edges, ends inside what the printer can print on a page of `layout`.
bool fitsPage(QPageLayout layout, QSize size, int margin, int dpi)
{
    layout.setUnits(QPageLayout::Point);
    const QRectF printable
        = QRectF(layout.fullRectPoints()).marginsRemoved(layout.minimumMargins());
    const double points = 72.0 / dpi;
    return (margin + size.width()) * points <= printable.right()
        && (margin + size.height()) * points <= printable.bottom();
}

}

void MainForm::printTo(QPrinter &printer)
{
    if (refused())
        return;
    EncoderSettings s = settings();
    // The printer's own resolution: its dots, not the preview's, at 1:1.
    s.dpi = printer.resolution();
    printer.setFullPage(true);
    const int margin = PixelRule::mmToPixels(s.dpi, 10);
    const QSize size = patternImageSize(s);
    QPageLayout layout = printer.pageLayout();
    if (!size.isEmpty() && !fitsPage(layout, size, margin, s.dpi)) {
        const bool landscape = layout.orientation() == QPageLayout::Portrait;
        layout.setOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        const bool turns = fitsPage(layout, size, margin, s.dpi);
        const auto mm = [&s](int pixels) { return QString::number(pixels * 25.4 / s.dpi, 'f', 1); };
        const QRectF paper = printer.pageLayout().fullRect(QPageLayout::Millimeter);
        QString text = tr("The pattern is %1 x %2 mm. Printed 10 mm from the paper's edges it "
                          "runs off the printable area of this %3 x %4 mm page (%5).")
                           .arg(mm(size.width()), mm(size.height()))
                           .arg(paper.width(), 0, 'f', 0)
                           .arg(paper.height(), 0, 'f', 0)
                           .arg(printer.pageLayout().pageSize().name());
        text += QLatin1Char(' ')
            + (!turns           ? tr("It fits on neither side; choose a larger paper.")
                    : landscape ? tr("It fits in landscape.")
                                : tr("It fits in portrait."));
        switch (
            askPrintFit(text, turns ? (landscape ? tr("Landscape") : tr("Portrait")) : QString())) {
        case PrintFit::Turn:
            printer.setPageOrientation(layout.orientation());
            break;
        case PrintFit::Anyway:
            break;
        case PrintFit::Cancel:
            return;
        }
    }
    const WaitCursor wait(true);
    const QImage print = renderEncoderImage(s, ui.qualityCheck->isChecked());
    if (print.isNull()) {
        showError(size.isEmpty() ? tr("Can't render image") : Export::notEnoughMemory(size));
        return;
    }
    QPainter painter(&printer);
    painter.drawImage(QPoint(margin, margin), print);
}

MainForm::PrintFit MainForm::askPrintFit(const QString &text, const QString &turn)
{
    QMessageBox box(QMessageBox::Warning, tr("Print"), text, QMessageBox::NoButton, this);
    QPushButton *turnButton
        = turn.isEmpty() ? nullptr : box.addButton(turn, QMessageBox::AcceptRole);
    QPushButton *anyway = box.addButton(tr("Print anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(turnButton ? turnButton : cancel);
    box.exec();
    if (turnButton && box.clickedButton() == turnButton)
        return PrintFit::Turn;
    return box.clickedButton() == anyway ? PrintFit::Anyway : PrintFit::Cancel;
}

void MainForm::onPrint()
{
    if (refused())
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print at 100 % (actual size)"));
    if (dialog.exec() == QDialog::Accepted)
        printTo(printer);
}

void MainForm::onCopyImage()
{
    if (refused())
        return;
    renderAndWrite([](QString *) { return true; });
    if (image && !image->isNull())
        QGuiApplication::clipboard()->setImage(*image);
}

void MainForm::onSaveVector(Export::Format format)
{
    if (refused(true))
        return;
    const char *filter = format == Export::Format::Svg ? "SVG Files (*.svg)"
        : format == Export::Format::Pdf                ? "PDF Files (*.pdf)"
                                                       : "DXF Files (*.dxf)";
    const QString fileName
        = chooseSaveFile(QObject::tr("Save encoder drawing"), QObject::tr(filter));
    if (fileName.isEmpty())
        return;
    QString error;
    bool ok = false;
    {
        const WaitCursor wait(true);
        ok = VectorExport::write(format, settings(), fileName, &error);
    }
    if (!ok)
        showError(error);
}

void MainForm::onSaveDecodeTable()
{
    if (refused())
        return;
    const QString fileName = chooseSaveFile(
        QObject::tr("Save decode table"), QObject::tr("Decode tables (*.csv *.json *.h)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!DecodeTable::write(settings(), fileName, &error))
        showError(error);
}
