#include "mainform.h"

#include "geometry.h"
#include "imagewriter.h"
#include "pdfwriter.h"
#include "renderer.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

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

// Whether every caption of the form fits its fixed rectangle in the current font.
bool captionsFit(const QWidget *window)
{
    const auto fits = [](const QWidget *widget, const QString &text, int padding) {
        return widget->fontMetrics().horizontalAdvance(text) + padding <= widget->width();
    };
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!fits(label, label->text(), 0))
            return false;
    }
    for (const QCheckBox *box : window->findChildren<QCheckBox *>()) {
        if (!box->text().isEmpty() && box->sizeHint().width() > box->width())
            return false;
    }
    for (const QPushButton *button : window->findChildren<QPushButton *>()) {
        if (!fits(button, button->text(), 6))
            return false;
    }
    return true;
}

// Renders above this many pixels take long enough to notice.
constexpr qint64 slowRenderPixels = 4'000'000;

}

MainForm::MainForm() : QMainWindow(nullptr)
{
    ui.setupUi(this);
    fitFontToCaptions();

    connectControls();
    setFixedSize(width(), height());
    renderEncoder(true);
}

MainForm::~MainForm() = default;

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
    // The form's fixed rectangles were laid out for an 11-pixel interface font. Desktop fonts are
    // often larger or wider, so shrink the font until every caption fits (never below 8 pixels).
    QFont compact = font();
    for (int pixels = 11; pixels >= 8; --pixels) {
        compact.setPixelSize(pixels);
        setFont(compact);
        ui.pairsBitsLabel->setText(tr("Pairs")); // the wider of its two captions
        const bool fit = captionsFit(this);
        ui.pairsBitsLabel->setText(tr("Bits"));
        if (fit)
            break;
    }
}

EncoderSettings MainForm::settings() const
{
    EncoderSettings s;
    s.shape = ui.circleRadioButton->isChecked() ? Shape::Disc : Shape::Bar;
    s.type = ui.absoluteRadioButton->isChecked() ? EncoderType::Absolute : EncoderType::Relative;
    s.grayCode = ui.grayCodeCheck->isChecked();
    s.bitOrder = ui.bitOrderButton->isChecked() ? BitOrder::MsbToLsb : BitOrder::LsbToMsb;
    s.count = ui.pairsBitsSpin->value();
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
    return s;
}

void MainForm::updateTitle()
{
    const QSize size = Geometry::imageSize(settings());
    imageWidth = size.width();
    imageHeight = size.height();
    setWindowTitle(QStringLiteral("Quvelta by ardin51, %1 x %2").arg(imageWidth).arg(imageHeight));
}

void MainForm::renderEncoder(bool autoPreview)
{
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
        // An image without pixels would make an empty file or a blank page.
        if (!image || image->isNull())
            error = tr("Can't render image");
        else
            write(&error);
    }
    if (!error.isEmpty())
        showError(error);
}

void MainForm::onSaveButton()
{
    const QString fileName = askSaveFileName(QObject::tr("Save encoder image"),
        QObject::tr("Image Files (*.png *.jpg *.jpeg *.bmp *.tiff)"));
    if (fileName.isEmpty())
        return;
    renderAndWrite(
        [&](QString *error) { return ImageExport::writeImageFile(*image, fileName, error); });
}

void MainForm::onSavePDFButton()
{
    const QString fileName
        = askSaveFileName(QObject::tr("Save encoder image"), QObject::tr("PDF Files (*.pdf)"));
    if (fileName.isEmpty())
        return;
    renderAndWrite([&](QString *error) {
        return PdfExport::writePdfPage(*image, fileName, settings(), error);
    });
}
