// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_MAINFORM_H
#define QUVELTA_MAINFORM_H

#include "design.h"
#include "encodersettings.h"
#include "exporter.h"
#include "ui_mainform.h"

#include <QFutureWatcher>
#include <QImage>
#include <QMainWindow>
#include <QTimer>
#include <QVariantMap>

class QComboBox;
class QDialog;
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

    // Keeps the window's values on close from now on (QSettings, the application's names), and
    // takes those it was last closed with when the user chose so in the Options dialog. A window
    // that never calls this keeps nothing.
    void restoreSettings();
    // Whether restoreSettings takes the last values (off unless the user turned it on).
    static bool restoresAtStart();
    static void setRestoresAtStart(bool restore);

    // Every value the user can set, by key, as design files and the kept settings hold them.
    QVariantMap values() const;
    // Sets the controls from `values`: keys it lacks keep their value, unknown keys are ignored.
    // Strict, a value of the wrong type or range refuses the whole set (nothing changes) and
    // *error says which; otherwise such values are skipped. Renders once at the end.
    bool setValues(const QVariantMap &values, bool strict, QString *error = nullptr);
    // Design files: JSON holding a format name, its version and values().
    static constexpr int designVersion = DesignFile::version;
    bool saveDesign(const QString &fileName, QString *error);
    bool openDesign(const QString &fileName, QString *error);
    // Design files opened or saved, the latest first (at most eight, kept in QSettings).
    static QStringList recentDesigns();
    // The design file the window's values came from or went to last; empty if none.
    QString designFile() const { return design; }

    // Updates the title; unless an automatic render finds auto preview off, renders a fresh image
    // (antialiased only when explicit and "Save in high quality" is on) and shows it.
    void renderEncoder(bool autoPreview);
    void updateTitle();
    // The title from the size last measured and the design's name.
    void showTitle();
    static QColor invertColor(const QColor &color);
    // The lines of `text` that the read-out shows in a rectangle of `room`: wrapped at words,
    // the last ending in an ellipsis when the rest does not fit.
    static QStringList fitLines(const QString &text, const QFont &font, const QSize &room);
    static int readOutLineStep(const QFont &font);

    // The widgets' current values as render settings. What the third page asks for and cannot
    // be drawn is left out, and *problem says why in the command line's words.
    EncoderSettings settings(QString *problem = nullptr) const;

    // Prints the pattern at its physical size at the printer's resolution, 10 mm from the
    // paper's left and top edges, as the PDF export places it, turning the paper when only the
    // other orientation holds it. A pattern larger than the printable area either way is tiled
    // as the tiled PDF export tiles it, after asking (askPrintPages); where even tiles do not
    // fit, it is refused with the paper it needs.
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
        QPushButton *optionsButton = nullptr;
        QLabel *biasLabel = nullptr;
        // The Options dialog: what the command line sets beyond the More page.
        QDialog *optionsDialog = nullptr;
        QDoubleSpinBox *indexWidthSpin = nullptr; // electrical degrees
        QCheckBox *sensorMarksCheck = nullptr;
        QCheckBox *transparentCheck = nullptr; // vector files without the background
        QDoubleSpinBox *apertureSpin = nullptr; // mm, for the read-back; 0: one pixel
        QDoubleSpinBox *scaleXSpin = nullptr;
        QDoubleSpinBox *scaleYSpin = nullptr;
        QCheckBox *restoreCheck = nullptr; // restore the last settings at start
    };
    const Extras &extras() const { return more; }

    // The image of the latest render asked for: waits for one under way (or draws it at once),
    // so it always matches the settings shown. Null before the first one.
    const QImage *currentImage();
    // How many renders were asked for (skipped automatic renders do not count).
    int renderCount() const { return renders; }
    // How many images were drawn: automatic renders asked for in quick succession draw once.
    int imagesDrawn() const { return drawn; }
    // Whether an automatic render is waiting or under way.
    bool renderPending() const { return autoWanted; }

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
    virtual QString askOpenFileName(const QString &caption, const QString &filter);
    virtual void showError(const QString &text);
    // Asked before a pattern is printed on several pages; `text` says on how many. True prints.
    virtual bool askPrintPages(const QString &text);
    // Shows what a scan of the calibration page measured; true to use its corrections.
    virtual bool askUseMeasurement(const QString &report);

private:
    // Beyond the form's own slots (whose meta-object indices stay as they are): the third page
    // and the preview's menu.
    void onExtrasChanged();
    void onPrint();
    void onCopyImage();
    void onSaveVector(Export::Format format);
    void onSaveDecodeTable();
    void onSaveDesign();
    void onOpenDesign();
    void adoptDesign(const QString &fileName);
    void onSaveCalibrationPage();
    void onMeasureScan();
    void setupOptionsDialog();

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
    // Every value-holding control by key, in the order that setting them needs.
    QList<std::pair<QString, QWidget *>> valueControls() const;
    QString design;
    QVariantMap designBaseline; // values() when the design was last opened or saved
    QJsonObject designKept; // what the design file holds beyond the window's values, kept

    bool keepsSettings = false;
    bool restoring = false; // no render until every value is back
    int imageWidth = 0;
    int imageHeight = 0;
    Ui_MainForm ui;
    std::optional<QImage> image;
    int renders = 0;
    int readBackGeneration = 0; // the settings whose read-back the read-out waits for
    Extras more;

    // Automatic renders run beside the window: a change starts the timer, its timeout starts one
    // render of the settings of that moment, and only a result for the latest change is shown.
    void scheduleRender();
    void launchRender();
    void renderFinished();
    // Shows a drawn image, with its preview copy when that was made beside the window.
    void showImage(QImage result, std::optional<Preview::Fitted> fitted = std::nullopt);
    void drawNow(bool antialias);
    QTimer renderTimer;
    struct Rendered
    {
        QImage image;
        Preview::Fitted fitted;
    };
    void showRendered(Rendered done);
    QFutureWatcher<Rendered> renderWatcher;
    int renderGeneration = 0; // bumped by every change and every explicit render
    int jobGeneration = -1; // the generation the render under way draws
    bool autoWanted = false; // an automatic render of the latest change is not shown yet
    int drawn = 0;
    QTimer readBackTimer; // the read-back of quick changes runs once, for the last
    // Large patterns: a preview-sized render at once, the full one when the controls rest.
    void launchQuickRender();
    QTimer quickTimer;
    QFutureWatcher<QImage> quickWatcher;
    int quickGeneration = -1;
};

#endif
