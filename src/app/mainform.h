#ifndef QUVELTA_MAINFORM_H
#define QUVELTA_MAINFORM_H

#include "encodersettings.h"
#include "exporter.h"
#include "ui_mainform.h"

#include <QImage>
#include <QMainWindow>

class QComboBox;
class QPrinter;

#include <functional>
#include <optional>

// The one window. Settings live only in its widgets and are read afresh at every render.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    MainForm();
    ~MainForm() override;

    // Takes the values the window was last closed with (QSettings, the application's names), and
    // keeps its values on close from now on. A window that never restores keeps nothing.
    void restoreSettings();

    // Updates the title; unless an automatic render finds auto preview off, renders a fresh image
    // (antialiased only when explicit and "Save in high quality" is on) and shows it.
    void renderEncoder(bool autoPreview);
    void updateTitle();
    static QColor invertColor(const QColor &color);
    // The lines of `text` that the read-out shows in a rectangle of `room`: wrapped at words,
    // the last ending in an ellipsis when the rest does not fit.
    static QStringList fitLines(const QString &text, const QFont &font, const QSize &room);
    static int readOutLineStep(const QFont &font);

    // The widgets' current values as render settings. What the third page asks for and cannot
    // be drawn is left out, and *problem says why in the command line's words.
    EncoderSettings settings(QString *problem = nullptr) const;

    // What to do with a pattern that runs off the printable page.
    enum class PrintFit { Turn, Anyway, Cancel };

    // Prints the pattern at its physical size at the printer's resolution, 10 mm from the
    // paper's left and top edges, as the PDF export places it. Where that runs off the printable
    // page, asks first (askPrintFit): turn the paper, print anyway or cancel.
    void printTo(QPrinter &printer);

    // The controls of the third page, "More", for the tests.
    struct Extras
    {
        QCheckBox *positionsCheck = nullptr;
        QSpinBox *positionsSpin = nullptr;
        QComboBox *codeCombo = nullptr; // as the form, binary, Gray, single track
        QCheckBox *quadratureCheck = nullptr;
        QCheckBox *indexCheck = nullptr;
        QCheckBox *classicPixelsCheck = nullptr;
        QDoubleSpinBox *markBiasSpin = nullptr;
        QCheckBox *calibrationCheck = nullptr;
        QLabel *narrowestLabel = nullptr;
    };
    const Extras &extras() const { return more; }

    // The last image that a render carried out, or null before the first one.
    const QImage *currentImage() const { return image ? &*image : nullptr; }
    // How many renders were carried out (skipped automatic renders do not count).
    int renderCount() const { return renders; }

public slots:
    void onColorChanged(QColor color);
    void onDPIChanged(int dpi);
    void onBorderCheckChange(int state);
    void onBorderWidthChange(double borderWidth);
    void onWidthChanged(int width);
    void onHeightChanged(int height);
    void onInnerRadiusChanged(int innerRadius);
    void onOuterRadiusChanged(int outerRadius);
    void onCenterMark(int state);
    void onAutoPreviewChanged(int state);
    void onPreviewPressed();
    void onBitOrderToggled(bool checked);
    void onPairsBitsChanged(int value);
    void onGrayCodeChanged(int state);
    void onShapeToggled(bool bar);
    void onTypeToggled(bool absolute);
    void onSaveButton();
    void onSavePDFButton();

protected:
    void closeEvent(QCloseEvent *event) override;

    // Seams for the tests: the modal file dialog and message box.
    virtual QString askSaveFileName(const QString &caption, const QString &filter);
    virtual void showError(const QString &text);
    // Asked when the pattern runs off the printable page: `turn` names the other orientation
    // when the pattern fits that way, else it is empty.
    virtual PrintFit askPrintFit(const QString &text, const QString &turn);

private:
    // Beyond the form's own slots (whose meta-object indices stay as they are): the third page
    // and the preview's menu.
    void onExtrasChanged();
    void onPrint();
    void onCopyImage();
    void onSaveVector(Export::Format format);
    void onSaveDecodeTable();

    // Whether the settings cannot be written as shown (vector: as outlines); if so, says why in
    // an error box. Every save, copy and print asks first.
    bool refused(bool vector = false);
    void fitFontToCaptions();
    void setupExtrasPage();
    void setupActions();
    void updateExtrasEnabled();
    void updateNarrowest();
    void showReadOut(const QString &text, bool red, const QString &details);
    void connectControls();
    void updateGrayCodeEnabled();
    // The export sequence after the file dialog: explicit render, then `write` with the wait
    // cursor up; reports "Can't render image" or the writer's error.
    void renderAndWrite(const std::function<bool(QString *error)> &write);
    // The file dialog's answer, or nothing when it names a FIFO, a device or a socket (reported).
    QString chooseSaveFile(const QString &caption, const QString &filter);

    void saveSettings() const;

    bool keepsSettings = false;
    bool restoring = false; // no render until every value is back
    int imageWidth = 0;
    int imageHeight = 0;
    Ui_MainForm ui;
    std::optional<QImage> image;
    int renders = 0;
    int readBackGeneration = 0; // the settings whose read-back the read-out waits for
    Extras more;
};

#endif
