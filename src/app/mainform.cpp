// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"

#include "codes.h"
#include "decodetable.h"
#include "description.h"
#include "exporter.h"
#include "exporterror.h"
#include "imagewriter.h"
#include "patterngeometry.h"
#include "pdfwriter.h"
#include "pixelrule.h"
#include "printerprofile.h"
#include "printtarget.h"
#include "preciseraster.h"
#include "problems.h"
#include "readback.h"
#include "renderer.h"
#include "scanmeasure.h"
#include "units.h"
#include "vectorwriter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QSettings>
#include <QStyleOptionSpinBox>
#include <QTabBar>
#include <QTextLayout>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

namespace {

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

// The edit field's room in a spin box, which its font does not change.
int spinTextRoom(const QAbstractSpinBox *spin)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.frame = spin->hasFrame();
    option.subControls = QStyle::SC_SpinBoxEditField | QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown
        | QStyle::SC_SpinBoxFrame;
    option.buttonSymbols = spin->buttonSymbols();
    // The line edit keeps a little margin on either side of its text.
    return spin->style()
               ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin)
               .width()
        - 4;
}

// The widest text a spin box shows: its largest value, or four digits for a count or DPI.
QString widestSpinText(const QAbstractSpinBox *spin)
{
    if (const auto *box = qobject_cast<const QSpinBox *>(spin))
        return QString::number(std::max(box->maximum(), 1024));
    if (const auto *box = qobject_cast<const QDoubleSpinBox *>(spin))
        return box->textFromValue(box->maximum());
    return spin->text();
}

// Whether a caption fits its fixed rectangle in its current font.
bool captionFits(const QWidget *widget)
{
    if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(widget))
        return spin->fontMetrics().horizontalAdvance(widestSpinText(spin)) <= spinTextRoom(spin);
    if (const auto *radio = qobject_cast<const QRadioButton *>(widget)) {
        const QStyle *style = radio->style();
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio)
            + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio)
            + radio->fontMetrics().horizontalAdvance(radio->text())
            <= radio->width();
    }
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->fontMetrics().horizontalAdvance(group->title()) + 8 <= group->width();
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
    ReadOutLabel()
    {
        setWordWrap(true);
        setFocusPolicy(Qt::StrongFocus);
    }
    // A click, or Space or Enter, shows the whole text with the details of its tooltip.
    std::function<void()> showDetails;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        if (showDetails)
            showDetails();
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const int key = event->key();
        if (showDetails && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter))
            showDetails();
        else
            QLabel::keyPressEvent(event);
    }

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

// A name without a suffix takes the one of the only format it can be written in (the file
// dialogs of some desktops leave it off).
QString withSuffix(const QString &fileName, const QString &suffix)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    return fileName + QLatin1Char('.') + suffix;
}

// Renders above this many pixels take long enough to notice.
constexpr qint64 slowRenderPixels = 4'000'000;
// How long the controls must rest before an automatic render starts: longer than between two
// auto-repeated arrow steps; for a large pattern, longer than between two typed digits. A quick
// preview-sized render shows every change meanwhile.
constexpr int quietMs = 120;
constexpr int largeQuietMs = 400;
constexpr int quickMs = 0; // once the change itself is handled
// Patterns above this many pixels rest the longer time.
constexpr qint64 largePixels = 2'000'000;

}

MainForm::MainForm() : QMainWindow(nullptr)
{
    ui.setupUi(this);
    fitFontToCaptions();
    setupExtrasPage();
    setupOptionsDialog();
    setupActions();

    renderTimer.setSingleShot(true);
    renderTimer.setInterval(quietMs);
    connect(&renderTimer, &QTimer::timeout, this, &MainForm::launchRender);
    quickTimer.setSingleShot(true);
    quickTimer.setInterval(quickMs);
    connect(&quickTimer, &QTimer::timeout, this, &MainForm::launchQuickRender);
    connect(&quickWatcher, &QFutureWatcher<QImage>::finished, this, [this] {
        // Shown only while the full render of the same change is still to come.
        if (autoWanted && quickGeneration == renderGeneration) {
            const QImage quick = quickWatcher.result();
            if (!quick.isNull())
                ui.preview->setImage(&quick);
        } else if (autoWanted && !quickTimer.isActive()) {
            launchQuickRender(); // a change came while it ran
        }
    });
    connect(&renderWatcher, &QFutureWatcher<Rendered>::finished, this, &MainForm::renderFinished);
    readBackTimer.setSingleShot(true);
    readBackTimer.setInterval(quietMs);

    connectControls();
    // Changes that do not render (a disc's size while a strip is shown) still star the design.
    for (const auto &[key, widget] : valueControls()) {
        const auto star = [this] {
            if (!design.isEmpty() && !restoring)
                showTitle();
        };
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            connect(button, &QAbstractButton::toggled, this, star);
        else if (auto *spin = qobject_cast<QSpinBox *>(widget))
            connect(spin, &QSpinBox::valueChanged, this, star);
        else if (auto *real = qobject_cast<QDoubleSpinBox *>(widget))
            connect(real, &QDoubleSpinBox::valueChanged, this, star);
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            connect(combo, &QComboBox::currentIndexChanged, this, star);
        else if (auto *swatch = qobject_cast<ColorSelector *>(widget))
            connect(swatch, &ColorSelector::colorChanged, this, star);
    }
    setFixedSize(width(), height());
    // The first picture is there when the window opens.
    updateTitle();
    ++renders;
    drawNow(false);
}

MainForm::~MainForm() = default;

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
    // The size fields take decimals; the slots keep their whole-millimetre signatures.
    connect(ui.widthSpin, &QDoubleSpinBox::valueChanged, this,
        [this](double value) { onWidthChanged(qRound(value)); });
    connect(ui.heightSpin, &QDoubleSpinBox::valueChanged, this,
        [this](double value) { onHeightChanged(qRound(value)); });
    connect(ui.innerRadiusSpin, &QDoubleSpinBox::valueChanged, this,
        [this](double value) { onInnerRadiusChanged(qRound(value)); });
    connect(ui.outerRadiusSpin, &QDoubleSpinBox::valueChanged, this,
        [this](double value) { onOuterRadiusChanged(qRound(value)); });
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
    // Radio buttons, group titles and spin boxes alike; a group's smaller font would pass to
    // its radio buttons, so theirs is set first and kept.
    for (QRadioButton *radio : findChildren<QRadioButton *>())
        captions << radio;
    for (QAbstractSpinBox *spin : findChildren<QAbstractSpinBox *>())
        captions << spin;
    for (QGroupBox *group : findChildren<QGroupBox *>()) {
        for (QWidget *child : group->findChildren<QWidget *>()) {
            QFont own = child->font();
            own.setPixelSize(QFontInfo(own).pixelSize());
            child->setFont(own);
        }
        captions << group;
    }
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
    s.foreground = ui.foregroundColorWidget->color();
    s.background = ui.backgroundColorWidget->color();
    if (!more.codeCombo || !more.scaleXSpin)
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
    if (s.type == EncoderType::Relative)
        s.indexWidthDegrees = more.indexWidthSpin->value();
    s.sensorMarks = more.sensorMarksCheck->isChecked();
    s.scaleX = more.scaleXSpin->value();
    s.scaleY = more.scaleYSpin->value();
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
    showTitle();
    updateNarrowest();
}

void MainForm::showTitle()
{
    QString title = tr("Quvelta by ardin51, %1 x %2").arg(imageWidth).arg(imageHeight);
    // A design's name once one is open or saved, starred while the window differs from it.
    if (!design.isEmpty() && more.optionsDialog)
        title += QStringLiteral(" - %1%2").arg(QFileInfo(design).completeBaseName(),
            values() != designBaseline ? QStringLiteral("*") : QString());
    setWindowTitle(title);
}

void MainForm::renderEncoder(bool autoPreview)
{
    if (restoring)
        return;
    updateTitle();
    if (autoPreview && !ui.autoPreviewCheck->isChecked())
        return;
    ++renders;
    if (autoPreview) {
        scheduleRender();
        return;
    }
    // Explicit renders (the preview button, every save) are waited for: what is written is
    // what was just drawn.
    renderTimer.stop();
    quickTimer.stop();
    ++renderGeneration;
    autoWanted = false;
    drawNow(ui.qualityCheck->isChecked());
}

void MainForm::drawNow(bool antialias)
{
    const WaitCursor wait(qint64(imageWidth) * imageHeight > slowRenderPixels);
    // Let the old image go first: at the largest size each one is 375 MB.
    image.reset();
    showImage(renderEncoderImage(settings(), antialias));
}

void MainForm::showImage(QImage result, std::optional<Preview::Fitted> fitted)
{
    image = std::move(result);
    ++drawn;
    if (fitted)
        ui.preview->setFitted(std::move(*fitted));
    else
        ui.preview->setImage(&*image);
    if (image->isNull() && imageWidth > 0 && imageHeight > 0)
        showError(Export::notEnoughMemory(QSize(imageWidth, imageHeight)));
}

void MainForm::showRendered(Rendered done)
{
    showImage(std::move(done.image), std::move(done.fitted));
}

void MainForm::scheduleRender()
{
    ++renderGeneration;
    autoWanted = true;
    // Typing "1024" or holding an arrow key changes the value several times in a moment; only
    // the last one is drawn.
    const bool large = qint64(imageWidth) * imageHeight > largePixels;
    renderTimer.start(large ? largeQuietMs : quietMs);
    quickTimer.start();
}

void MainForm::launchRender()
{
    // One render at a time: a change made meanwhile starts the next when this one ends.
    if (!autoWanted || renderWatcher.isRunning())
        return;
    jobGeneration = renderGeneration;
    const EncoderSettings s = settings();
    // The preview keeps its own copy: the old full image goes first, as at the largest size
    // two would take 750 MB. It goes beside the window too: handing 375 MB back to the system
    // takes a tenth of a second or more.
    QImage old = image ? std::move(*image) : QImage();
    image.reset();
    // The preview's copy is made beside the window too: scaling the largest image takes long.
    const QSize area = ui.preview->size();
    const qreal ratio = ui.preview->devicePixelRatioF();
    renderWatcher.setFuture(QtConcurrent::run([s, area, ratio, old = std::move(old)]() mutable {
        old = QImage();
        Rendered done;
        done.image = renderEncoderImage(s, false);
        done.fitted = Preview::fit(done.image, area, ratio);
        return done;
    }));
}

void MainForm::launchQuickRender()
{
    if (!autoWanted || quickWatcher.isRunning())
        return;
    // The pattern at the preview's size: a lower DPI, antialiased so fine tracks look as grey
    // as in the scaled copy of the full render.
    EncoderSettings s = settings();
    const qreal ratio = ui.preview->devicePixelRatioF();
    const double scale = std::min(ui.preview->width() * ratio / std::max(1, imageWidth),
        ui.preview->height() * ratio / std::max(1, imageHeight));
    if (scale >= 0.5)
        return;
    s.dpi = std::max(10, int(s.dpi * scale));
    quickGeneration = renderGeneration;
    quickWatcher.setFuture(QtConcurrent::run([s] {
        try {
            return renderEncoderImage(s, true);
        } catch (const std::exception &) {
            return QImage();
        }
    }));
}

void MainForm::renderFinished()
{
    // Taken out of the future, so that the image's memory goes back where the window chooses.
    if (!renderWatcher.future().isValid())
        return; // currentImage took it already
    Rendered done = renderWatcher.future().takeResult();
    if (autoWanted && jobGeneration == renderGeneration) {
        autoWanted = false;
        showRendered(std::move(done));
        return;
    }
    // A stale image, freed beside the window.
    QThreadPool::globalInstance()->start([stale = std::move(done)]() mutable { stale = {}; });
    if (autoWanted && !renderTimer.isActive())
        launchRender();
}

const QImage *MainForm::currentImage()
{
    if (autoWanted) {
        renderTimer.stop();
        quickTimer.stop();
        if (renderWatcher.isRunning()) {
            renderWatcher.waitForFinished();
            if (jobGeneration == renderGeneration) {
                autoWanted = false;
                showRendered(renderWatcher.future().takeResult());
            }
        }
        if (autoWanted) {
            autoWanted = false;
            drawNow(false);
        }
    }
    return image ? &*image : nullptr;
}

QColor MainForm::invertColor(const QColor &color)
{
    QColor inverted;
    inverted.setRgb(255 - color.red(), 255 - color.green(), 255 - color.blue(), 255);
    return inverted;
}

void MainForm::updateGrayCodeEnabled()
{
    // The More page's code, once chosen, decides instead of the form's check box.
    ui.grayCodeCheck->setEnabled(ui.circleRadioButton->isChecked()
        && ui.absoluteRadioButton->isChecked()
        && (!more.codeCombo || more.codeCombo->currentIndex() == 0));
}

void MainForm::onColorChanged(QColor /*color*/)
{
    const QColor background = ui.backgroundColorWidget->color();
    setCaptionColor(ui.backgroundLabel, invertColor(background));
    setCaptionColor(ui.foregroundLabel, invertColor(ui.foregroundColorWidget->color()));
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

void MainForm::onInnerRadiusChanged(int /*innerRadius*/)
{
    ui.outerRadiusSpin->setMinimum(ui.innerRadiusSpin->value() + 1);
    if (ui.circleRadioButton->isChecked())
        renderEncoder(true);
}

void MainForm::onOuterRadiusChanged(int /*outerRadius*/)
{
    ui.innerRadiusSpin->setMaximum(ui.outerRadiusSpin->value() - 1);
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

QString MainForm::askOpenFileName(const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(this, caption, QString(), filter);
}

void MainForm::onSaveDesign()
{
    const QString fileName
        = withSuffix(chooseSaveFile(tr("Save design"), tr("Quvelta designs (*.quvelta)")),
            QStringLiteral("quvelta"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!saveDesign(fileName, &error))
        showError(error);
}

void MainForm::onOpenDesign()
{
    const QString fileName
        = askOpenFileName(tr("Open design"), tr("Quvelta designs (*.quvelta);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!openDesign(fileName, &error))
        showError(error);
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
    const QString fileName = withSuffix(
        chooseSaveFile(QObject::tr("Save encoder image"), QObject::tr("PDF Files (*.pdf)")),
        QStringLiteral("pdf"));
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
    more.classicPixelsCheck = new QCheckBox(tr("Classic &pixels"));
    more.classicPixelsCheck->setToolTip(tr("Whole-pixel tracks and segments, truncated as older "
                                           "files were; their edges can be off by pixels"));
    more.calibrationCheck = new QCheckBox(tr("R&uler and legend"));
    more.calibrationCheck->setToolTip(
        tr("Calibration rulers and a legend beside the pattern in images and PDF"));
    auto *biasLabel = new QLabel(tr("Bias [mm]"));
    more.markBiasSpin = new QDoubleSpinBox;
    more.markBiasSpin->setRange(-0.5, 0.5);
    more.markBiasSpin->setSingleStep(0.01);
    more.markBiasSpin->setDecimals(2);
    more.markBiasSpin->setToolTip(tr("Every mark wider by this much; negative for ink spread"));
    auto *readOut = new ReadOutLabel;
    readOut->showDetails = [this] {
        QMessageBox box(QMessageBox::Information, tr("Details"), more.narrowestLabel->toolTip(),
            QMessageBox::Ok, this);
        box.setTextFormat(Qt::RichText);
        box.exec();
    };
    more.narrowestLabel = readOut;

    grid->addWidget(more.positionsCheck, 0, 0);
    grid->addWidget(more.positionsSpin, 0, 1);
    grid->addWidget(more.codeCombo, 1, 0, 1, 2);
    grid->addWidget(more.quadratureCheck, 2, 0);
    grid->addWidget(more.indexCheck, 2, 1);
    // Classic pixels, the ruler and the mark bias live in the Options dialog, with the rest of
    // what the command line sets: the page keeps rows tall enough for their text.
    more.biasLabel = biasLabel;
    more.optionsButton = new QPushButton(tr("Op&tions..."));
    more.optionsButton->setObjectName(QStringLiteral("optionsButton"));
    more.optionsButton->setToolTip(tr("Ruler, mark bias, classic pixels, index width, sensor "
                                      "marks, transparent vector files, the check's aperture, "
                                      "printer scale, start"));
    grid->addWidget(more.optionsButton, 3, 0, 1, 2);
    grid->addWidget(more.narrowestLabel, 4, 0, 1, 2);
    grid->setRowStretch(4, 1);
    // Small controls so that the page fits the tab's fixed rectangle, each row as tall as its
    // font needs.
    for (QWidget *w : page->findChildren<QWidget *>()) {
        QFont small = w->font();
        small.setPixelSize(std::min(QFontInfo(small).pixelSize(), 10));
        w->setFont(small);
        w->setMaximumHeight(std::max(14, QFontMetrics(small).height() + 3));
    }
    more.narrowestLabel->setMaximumHeight(QWIDGETSIZE_MAX);
    QFont tiny = more.narrowestLabel->font();
    tiny.setPixelSize(std::min(QFontInfo(tiny).pixelSize(), 9));
    more.narrowestLabel->setFont(tiny);
    ui.optionsTab->addTab(page, tr("More"));
    // Three tabs in the fixed rectangle: only the tab bar's font shrinks, by the least that fits.
    QTabBar *bar = ui.optionsTab->tabBar();
    QFont tabFont = bar->font();
    // A tab is its caption and the style's padding, which the font does not change (the bar's
    // own size hint is not remeasured at once on a font change); 4 pixels for the tab's frame.
    const int padding
        = bar->count() * (bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar) + 4);
    for (int pixels = QFontInfo(tabFont).pixelSize(); pixels >= 8; --pixels) {
        tabFont.setPixelSize(pixels);
        bar->setFont(tabFont);
        const QFontMetrics metrics(tabFont);
        int needed = padding;
        for (int i = 0; i < bar->count(); ++i)
            needed += metrics.horizontalAdvance(bar->tabText(i));
        if (needed <= ui.optionsTab->width())
            break;
    }
    // Where even 8 pixels do not fit, every tab still shows, its caption elided, rather than
    // a tab hidden behind scroll arrows.
    ui.optionsTab->setUsesScrollButtons(false);
    bar->setElideMode(Qt::ElideRight);
    for (int i = 0; i < bar->count(); ++i)
        bar->setTabToolTip(i, bar->tabText(i));

    for (QCheckBox *box : { more.positionsCheck, more.quadratureCheck, more.indexCheck,
             more.classicPixelsCheck, more.calibrationCheck })
        connect(box, &QCheckBox::toggled, this, &MainForm::onExtrasChanged);
    connect(more.positionsSpin, &QSpinBox::valueChanged, this, &MainForm::onExtrasChanged);
    connect(more.codeCombo, &QComboBox::currentIndexChanged, this, &MainForm::onExtrasChanged);
    connect(more.markBiasSpin, &QDoubleSpinBox::valueChanged, this, &MainForm::onExtrasChanged);
    connect(more.optionsButton, &QPushButton::clicked, this, [this] {
        more.optionsDialog->show();
        more.optionsDialog->raise();
        more.optionsDialog->activateWindow();
    });
    // The form's own switches change what applies here.
    connect(ui.barRadioButton, &QRadioButton::toggled, this, &MainForm::updateExtrasEnabled);
    connect(ui.absoluteRadioButton, &QRadioButton::toggled, this, &MainForm::updateExtrasEnabled);
    updateExtrasEnabled();
}

void MainForm::setupOptionsDialog()
{
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("optionsDialog"));
    dialog->setWindowTitle(tr("Options"));
    more.optionsDialog = dialog;
    const auto real = [](double low, double high, double step, int decimals, double value,
                          const QString &suffix, const QString &tip) {
        auto *spin = new QDoubleSpinBox;
        spin->setLocale(QLocale::c());
        spin->setDecimals(decimals);
        spin->setRange(low, high);
        spin->setSingleStep(step);
        spin->setValue(value);
        spin->setSuffix(suffix);
        spin->setToolTip(tip);
        return spin;
    };
    more.indexWidthSpin = real(90, 360, 15, 0, 90, tr(" \u00b0"),
        tr("Width of the index mark in electrical degrees, 360 to a period (--index-width)"));
    more.indexWidthSpin->setObjectName(QStringLiteral("indexWidthSpin"));
    more.sensorMarksCheck = new QCheckBox(tr("&Sensor marks"));
    more.sensorMarksCheck->setObjectName(QStringLiteral("sensorMarksCheck"));
    more.sensorMarksCheck->setToolTip(tr("Ticks outside the pattern where the sensors read "
                                         "(--sensor-marks)"));
    more.transparentCheck = new QCheckBox(tr("&Transparent background in SVG, DXF and vector PDF"));
    more.transparentCheck->setObjectName(QStringLiteral("transparentCheck"));
    more.transparentCheck->setToolTip(
        tr("Vector files without the background rectangle, for PCB and cutter imports "
           "(--transparent)"));
    more.apertureSpin = real(0, 10, 0.01, 3, 0, tr(" mm"),
        tr("The sensor's slit or spot width for the read-back on the More page; 0: one pixel "
           "(--aperture)"));
    more.apertureSpin->setObjectName(QStringLiteral("apertureSpin"));
    more.apertureSpin->setSpecialValueText(tr("one pixel"));
    more.scaleXSpin = real(0.9, 1.1, 0.001, 4, 1, QString(),
        tr("The printer's measured scale across (0.992: it prints 99.2 %); images and PDFs are "
           "drawn 1/scale as wide so that it prints them true (--scale-x)"));
    more.scaleXSpin->setObjectName(QStringLiteral("scaleXSpin"));
    more.scaleYSpin
        = real(0.9, 1.1, 0.001, 4, 1, QString(), tr("The same down the page (--scale-y)"));
    more.scaleYSpin->setObjectName(QStringLiteral("scaleYSpin"));
    more.restoreCheck = new QCheckBox(tr("&Restore the last settings at start"));
    more.restoreCheck->setObjectName(QStringLiteral("restoreCheck"));
    more.restoreCheck->setToolTip(tr("Off: the window always starts with its default values"));

    auto *layout = new QVBoxLayout(dialog);
    const auto group = [layout](const QString &title) {
        auto *box = new QGroupBox(title);
        auto *form = new QFormLayout(box);
        layout->addWidget(box);
        return form;
    };
    QFormLayout *print = group(tr("Print"));
    print->addRow(more.calibrationCheck);
    more.biasLabel->setText(tr("Mark &bias:"));
    more.biasLabel->setBuddy(more.markBiasSpin);
    more.markBiasSpin->setSuffix(tr(" mm"));
    print->addRow(more.biasLabel, more.markBiasSpin);
    QFormLayout *incremental = group(tr("Incremental"));
    auto *indexLabel = new QLabel(tr("&Index width:"));
    indexLabel->setBuddy(more.indexWidthSpin);
    incremental->addRow(indexLabel, more.indexWidthSpin);
    QFormLayout *marks = group(tr("Marks and files"));
    marks->addRow(more.sensorMarksCheck);
    marks->addRow(more.classicPixelsCheck);
    marks->addRow(more.transparentCheck);
    auto *apertureLabel = new QLabel(tr("&Aperture for the check:"));
    apertureLabel->setBuddy(more.apertureSpin);
    marks->addRow(apertureLabel, more.apertureSpin);
    auto *xLabel = new QLabel(tr("Scale &x (across):"));
    xLabel->setBuddy(more.scaleXSpin);
    print->addRow(xLabel, more.scaleXSpin);
    auto *yLabel = new QLabel(tr("Scale &y (down):"));
    yLabel->setBuddy(more.scaleYSpin);
    print->addRow(yLabel, more.scaleYSpin);
    QFormLayout *start = group(tr("Start"));
    start->addRow(more.restoreCheck);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);

    for (QDoubleSpinBox *spin :
        { more.indexWidthSpin, more.apertureSpin, more.scaleXSpin, more.scaleYSpin })
        connect(spin, &QDoubleSpinBox::valueChanged, this, &MainForm::onExtrasChanged);
    connect(more.sensorMarksCheck, &QCheckBox::toggled, this, &MainForm::onExtrasChanged);
    // Only vector files change: the title's star follows.
    connect(more.transparentCheck, &QCheckBox::toggled, this, &MainForm::updateTitle);
    connect(more.restoreCheck, &QCheckBox::toggled, this, [](bool on) { setRestoresAtStart(on); });
}

void MainForm::setupActions()
{
    const auto action = [this](const QString &text, QList<QKeySequence> keys, auto slot) {
        auto *a = new QAction(text, this);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setShortcutVisibleInContextMenu(true);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        ui.preview->addAction(a);
        return a;
    };
    const auto separator = [this] {
        auto *a = new QAction(this);
        a->setSeparator(true);
        ui.preview->addAction(a);
    };
    action(tr("&Open design..."), { QKeySequence::Open }, &MainForm::onOpenDesign)
        ->setObjectName(QStringLiteral("openDesignAction"));
    auto *recent = new QMenu(tr("Open &recent"), this);
    recent->setObjectName(QStringLiteral("recentDesignsMenu"));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        for (const QString &fileName : recentDesigns())
            recent->addAction(QDir::toNativeSeparators(fileName), this, [this, fileName] {
                QString error;
                if (!openDesign(fileName, &error))
                    showError(error);
            });
        if (recent->isEmpty())
            recent->addAction(tr("(none)"))->setEnabled(false);
    });
    ui.preview->addAction(recent->menuAction());
    action(tr("Save &design..."), { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S) },
        &MainForm::onSaveDesign)
        ->setObjectName(QStringLiteral("saveDesignAction"));
    separator();
    action(tr("Save &image..."), { QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_E) },
        &MainForm::onSaveButton)
        ->setObjectName(QStringLiteral("saveImageAction"));
    action(tr("Save PD&F..."), {}, &MainForm::onSavePDFButton)
        ->setObjectName(QStringLiteral("savePdfAction"));
    action(tr("Save as &SVG..."), { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E) }, [this] {
        onSaveVector(Export::Format::Svg);
    })->setObjectName(QStringLiteral("saveSvgAction"));
    action(tr("Save as &vector PDF..."), {}, [this] {
        onSaveVector(Export::Format::Pdf);
    })->setObjectName(QStringLiteral("saveVectorPdfAction"));
    action(tr("Save as D&XF..."), { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D) }, [this] {
        onSaveVector(Export::Format::Dxf);
    })->setObjectName(QStringLiteral("saveDxfAction"));
    action(tr("Save decode &table..."), {}, &MainForm::onSaveDecodeTable)
        ->setObjectName(QStringLiteral("decodeTableAction"));
    separator();
    action(tr("&Copy image"), { QKeySequence::Copy }, &MainForm::onCopyImage)
        ->setObjectName(QStringLiteral("copyAction"));
    action(tr("&Print..."), { QKeySequence::Print }, &MainForm::onPrint)
        ->setObjectName(QStringLiteral("printAction"));
    separator();
    action(tr("Calibration pa&ge..."), {}, &MainForm::onSaveCalibrationPage)
        ->setObjectName(QStringLiteral("calibrationPageAction"));
    action(tr("&Measure a scan..."), {}, &MainForm::onMeasureScan)
        ->setObjectName(QStringLiteral("measureScanAction"));
    separator();
    action(tr("Optio&ns..."), { QKeySequence::Preferences, QKeySequence(Qt::CTRL | Qt::Key_Comma) },
        [this] {
            more.optionsDialog->show();
            more.optionsDialog->raise();
            more.optionsDialog->activateWindow();
        })
        ->setObjectName(QStringLiteral("optionsAction"));
    action(tr("&Quit"), { QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q) }, &QWidget::close)
        ->setObjectName(QStringLiteral("quitAction"));
    ui.preview->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The menu by keyboard too: the preview takes focus (Tab), and the menu key, Shift+F10 or
    // F10 open its menu, which is the window's File menu.
    ui.preview->setFocusPolicy(Qt::StrongFocus);
    ui.preview->setToolTip(tr("Right-click, the menu key or F10: save, print, designs, options"));
    auto *menuKey = new QAction(this);
    menuKey->setShortcuts({ QKeySequence(Qt::Key_F10), QKeySequence(Qt::ALT | Qt::Key_F) });
    connect(menuKey, &QAction::triggered, this, [this] {
        QMenu::exec(
            ui.preview->actions(), ui.preview->mapToGlobal(QPoint(0, 0)), nullptr, ui.preview);
    });
    addAction(menuKey);

    ui.foregroundColorWidget->setAccessibleName(tr("Foreground colour"));
    ui.backgroundColorWidget->setAccessibleName(tr("Background colour"));
    // Tab follows the form from top left to bottom right, the preview (and its menu) last.
    const QList<QWidget *> order = { ui.barRadioButton, ui.circleRadioButton,
        ui.absoluteRadioButton, ui.relativeRadioButton, ui.autoPreviewCheck, ui.previewButton,
        ui.pairsBitsSpin, ui.bitOrderButton, ui.optionsTab, ui.widthSpin, ui.heightSpin,
        ui.outerRadiusSpin, ui.innerRadiusSpin, ui.centerMarkCheck, more.positionsCheck,
        more.positionsSpin, more.codeCombo, more.quadratureCheck, more.indexCheck,
        more.optionsButton, more.narrowestLabel, ui.grayCodeCheck, ui.qualityCheck, ui.borderCheck,
        ui.borderSpin, ui.dpiSpin, ui.foregroundColorWidget, ui.backgroundColorWidget,
        ui.savePDFButton, ui.saveButton, ui.preview };
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
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
    if (more.indexWidthSpin)
        more.indexWidthSpin->setEnabled(!absolute && more.indexCheck->isChecked());
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
        // One geometry for both: at 16 bits building it is most of the window's work per change.
        const std::vector<PatternGeometry::Widths> narrowest = patternGeometry(s).narrowest();
        for (const PatternGeometry::Widths &w : narrowest) {
            mark = std::min(mark, w.mark);
            gap = std::min(gap, w.gap);
        }
        thin = !thinTrackWarning(s, narrowest).isEmpty();
    } catch (const std::bad_alloc &) {
        showReadOut(tr("Not enough memory to measure the pattern"), true, QString());
        return;
    }
    const double dots = Units::dotsPerMm(s.dpi);
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
    const double aperture = more.apertureSpin ? more.apertureSpin->value() : 0;
    QPointer<MainForm> self(this);
    // Started when the controls rest, so a burst of changes reads back once.
    readBackTimer.disconnect();
    connect(&readBackTimer, &QTimer::timeout, this,
        [self, s, antialias, aperture, generation, widths, thin, mark, gap, cell] {
            QThreadPool::globalInstance()->start([self, s, antialias, aperture, generation, widths,
                                                     thin, mark, gap, cell] {
                std::optional<ReadBack> reading;
                try {
                    reading = readBack(s, antialias, aperture);
                } catch (const std::bad_alloc &) { }
                QMetaObject::invokeMethod(qApp, [=] {
                    if (!self || self->readBackGeneration != generation || !reading)
                        return;
                    const QString table
                        = QStringLiteral("<pre>%1</pre>")
                              .arg(readBackReport(*reading, aperture).toHtmlEscaped());
                    if (reading->reads())
                        self->showReadOut(widths, thin, table);
                    else
                        self->showReadOut(tr("Narrowest mark %1, gap %2\nDoes not read: %3")
                                              .arg(cell(mark), cell(gap), reading->failingTracks()),
                            true, table);
                });
            });
        });
    readBackTimer.start();
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
                ? tr("<p>Click for details. The narrowest mark and gap of the pattern; red where a "
                     "track vanishes at "
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
    updateGrayCodeEnabled();
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

// What the printer can print on a page of `layout`, in millimetres from the paper's top-left.
QRectF printableMm(QPageLayout layout)
{
    layout.setUnits(QPageLayout::Millimeter);
    return layout.fullRect().marginsRemoved(layout.minimumMargins());
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
    const double k = Units::dotsPerMm(s.dpi);
    std::optional<PdfExport::Tiles> tiles;
    if (!size.isEmpty() && !fitsPage(printer.pageLayout(), size, margin, s.dpi)) {
        QPageLayout turned = printer.pageLayout();
        turned.setOrientation(turned.orientation() == QPageLayout::Portrait
                ? QPageLayout::Landscape
                : QPageLayout::Portrait);
        if (fitsPage(turned, size, margin, s.dpi)) {
            printer.setPageOrientation(turned.orientation());
        } else {
            // Tiles as the tiled PDF has them, each page's tile being the printable area so that
            // the crosses in its margins print too.
            QPageLayout portrait = printer.pageLayout();
            portrait.setOrientation(QPageLayout::Portrait);
            const QRectF room = printableMm(portrait);
            EncoderSettings paper = s;
            paper.pdfPageWidthMm = room.width();
            paper.pdfPageHeightMm = room.height();
            tiles = PdfExport::tiles(paper, size);
            const QString mm = tr("%1 x %2 mm")
                                   .arg(size.width() / k, 0, 'f', 1)
                                   .arg(size.height() / k, 0, 'f', 1);
            const QString name = portrait.pageSize().name();
            if (!tiles) {
                // One page 10 mm in, with the printer's own margins right and below.
                const QRectF full = portrait.fullRect(QPageLayout::Millimeter);
                const double across = 10 + size.width() / k + full.right() - room.right();
                const double down = 10 + size.height() / k + full.bottom() - room.bottom();
                showError(tr("The pattern is %1; it does not fit the printable area of this %2 "
                             "page either way, and the page is too small to print it in tiles. "
                             "It needs a paper of at least %3 x %4 mm.")
                              .arg(mm, name)
                              .arg(std::ceil(across), 0, 'f', 0)
                              .arg(std::ceil(down), 0, 'f', 0));
                return;
            }
            const bool landscape = tiles->pageMm != room.size();
            const QString text
                = tr("The pattern is %1; it will print on %n pages of %2 (%3), %4 across and %5 "
                     "down, to be joined along the marks. Print every page at 100 %.",
                    nullptr, tiles->count())
                      .arg(mm, name, landscape ? tr("landscape") : tr("portrait"))
                      .arg(tiles->columns)
                      .arg(tiles->rows);
            // One tile: the printer's own margins are wider than the usual 10 mm.
            if (tiles->count() > 1 && !askPrintPages(text))
                return;
            printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        }
    }
    const WaitCursor wait(true);
    const QImage print = renderEncoderImage(s, ui.qualityCheck->isChecked());
    if (print.isNull()) {
        showError(size.isEmpty() ? tr("Can't render image") : Export::notEnoughMemory(size));
        return;
    }
    QPainter painter(&printer);
    if (!tiles) {
        painter.drawImage(QPoint(margin, margin), print);
        return;
    }
    const PdfExport::Tiles &t = *tiles;
    const QPoint corner = (printableMm(printer.pageLayout()).topLeft() * k).toPoint();
    const QPoint area = corner + QPoint(t.marginPx, t.marginPx);
    QPen pen(Qt::black);
    pen.setWidthF(0.15 * k);
    const double half = PdfExport::Tiles::crossMm / 2 * k;
    QFont font = painter.font();
    font.setPointSizeF(7);
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.columns; ++c) {
            if (r + c > 0)
                printer.newPage();
            const QPoint o = t.origin(c, r);
            const QSize shown(std::min(t.areaPx.width(), print.width() - o.x()),
                std::min(t.areaPx.height(), print.height() - o.y()));
            painter.drawImage(area, print, QRect(o, shown));
            painter.setPen(pen);
            for (const QPointF &p : t.crosses(c, r, print.size())) {
                const QPointF q = p - QPointF(o) + QPointF(area);
                painter.drawLine(q - QPointF(half, 0), q + QPointF(half, 0));
                painter.drawLine(q - QPointF(0, half), q + QPointF(0, half));
            }
            // The page's number and its neighbours', as the tiled PDF labels them.
            const int number = r * t.columns + c + 1;
            QString label = tr("Quvelta page %1 of %2 (row %3, column %4); print at 100 %")
                                .arg(number)
                                .arg(t.count())
                                .arg(r + 1)
                                .arg(c + 1);
            if (r > 0)
                label += tr(", %1 above").arg(number - t.columns);
            if (r + 1 < t.rows)
                label += tr(", %1 below").arg(number + t.columns);
            painter.setFont(font);
            painter.drawText(QPointF(area.x(), corner.y() + 12.5 * k), label);
            const double middle = area.y() + shown.height() / 2.0;
            if (c > 0)
                painter.drawText(QPointF(corner.x() + 1.5 * k, middle), tr("< %1").arg(number - 1));
            if (c + 1 < t.columns)
                painter.drawText(
                    QPointF(area.x() + shown.width() + 7 * k, middle), tr("%1 >").arg(number + 1));
        }
}

bool MainForm::askPrintPages(const QString &text)
{
    QMessageBox box(QMessageBox::Question, tr("Print"), text, QMessageBox::NoButton, this);
    QPushButton *print = box.addButton(tr("&Print"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(print);
    box.exec();
    return box.clickedButton() == print;
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
    // Cutters and plotters get true sizes; the printer's scale is for prints.
    if (format != Export::Format::Pdf) {
        const EncoderSettings s = settings();
        if (s.scaleX != 1 || s.scaleY != 1) {
            showError(Problems::printerScaleForCutter(
                s.scaleX != 1 ? QStringLiteral("--scale-x") : QStringLiteral("--scale-y")));
            return;
        }
    }
    const QString filter = format == Export::Format::Svg ? QObject::tr("SVG Files (*.svg)")
        : format == Export::Format::Pdf                  ? QObject::tr("PDF Files (*.pdf)")
                                                         : QObject::tr("DXF Files (*.dxf)");
    const QString fileName = withSuffix(chooseSaveFile(QObject::tr("Save encoder drawing"), filter),
        format == Export::Format::Svg       ? QStringLiteral("svg")
            : format == Export::Format::Pdf ? QStringLiteral("pdf")
                                            : QStringLiteral("dxf"));
    if (fileName.isEmpty())
        return;
    QString error;
    bool ok = false;
    {
        const WaitCursor wait(true);
        VectorExport::Options options;
        options.transparent = more.transparentCheck->isChecked();
        ok = VectorExport::write(format, settings(), fileName, &error, options);
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

// The page to print and measure, drawn for the printer scale in use so that a print made with
// it checks it: A4, or Letter where the locale measures in inches.
void MainForm::onSaveCalibrationPage()
{
    const QString fileName = askSaveFileName(tr("Save calibration page"),
        tr("PDF (*.pdf);;Images (*.png *.tif *.tiff *.bmp *.jpg *.jpeg)"));
    if (fileName.isEmpty())
        return;
    const bool inches = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
    const auto page
        = PrintTarget::pageOfWord(inches ? QStringLiteral("letter") : QStringLiteral("a4"));
    const PrintTarget::Layout layout = PrintTarget::layout(
        *page, QPointF(more.scaleXSpin->value(), more.scaleYSpin->value()));
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = PrintTarget::write(layout, fileName, 600, &error);
    QApplication::restoreOverrideCursor();
    if (!written)
        showError(error);
}

// A scan of the printed calibration page, measured; its scale and ink spread go into the
// Options when the user takes them.
void MainForm::onMeasureScan()
{
    const QString fileName = askOpenFileName(tr("Measure a scanned calibration page"),
        tr("Scans (*.png *.tif *.tiff *.jpg *.jpeg *.bmp);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<ScanMeasure::Reading> reading
        = ScanMeasure::measureFile(fileName, 0, PrintTarget::knownPages(), &why);
    std::optional<PrinterProfile::Result> result;
    if (reading)
        result = PrinterProfile::fromScans({ *reading }, { QFileInfo(fileName).fileName() }, &why);
    QApplication::restoreOverrideCursor();
    if (!result) {
        showError(why);
        return;
    }
    if (!askUseMeasurement(result->report.join(QLatin1Char('\n'))))
        return;
    more.scaleXSpin->setValue(result->profile.scaleX);
    more.scaleYSpin->setValue(result->profile.scaleY);
    if (result->profile.markBiasMm)
        more.markBiasSpin->setValue(*result->profile.markBiasMm);
}

bool MainForm::askUseMeasurement(const QString &report)
{
    QMessageBox box(QMessageBox::Question, tr("Measured scan"),
        tr("Use these corrections for printing?"), QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(report);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}
