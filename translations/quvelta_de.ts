<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ColorSelector</name>
    <message>
        <source>Select Color</source>
        <translation>Farbe wählen</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>Quvelta by ardin51</source>
        <translation>Quvelta von ardin51</translation>
    </message>
    <message>
        <source>Encoder shape</source>
        <translation>Encoderform</translation>
    </message>
    <message>
        <source>Bar</source>
        <translation>Streifen</translation>
    </message>
    <message>
        <source>Circle</source>
        <translation>Kreis</translation>
    </message>
    <message>
        <source>Encoder type</source>
        <translation>Encodertyp</translation>
    </message>
    <message>
        <source>Absolute</source>
        <translation>Absolut</translation>
    </message>
    <message>
        <source>Relative</source>
        <translation>Relativ</translation>
    </message>
    <message>
        <source>Make preview</source>
        <translation>Vorschau erstellen</translation>
    </message>
    <message>
        <source>Auto preview</source>
        <translation>Auto-Vorschau</translation>
    </message>
    <message>
        <source>Bar size</source>
        <translation>Streifen</translation>
    </message>
    <message>
        <source>Width [mm]</source>
        <translation>Breite [mm]</translation>
    </message>
    <message>
        <source>Height [mm]</source>
        <translation>Höhe [mm]</translation>
    </message>
    <message>
        <source>Circle size</source>
        <translation>Kreis</translation>
    </message>
    <message>
        <source>Outer radius [mm]</source>
        <translation>Außenradius [mm]</translation>
    </message>
    <message>
        <source>Inner radius [mm]</source>
        <translation>Innenradius [mm]</translation>
    </message>
    <message>
        <source>Center mark</source>
        <translation>Mittelpunktmarke</translation>
    </message>
    <message>
        <source>Border lines</source>
        <translation>Randlinien</translation>
    </message>
    <message>
        <source>Border width [mm]</source>
        <translation>Randbreite [mm]</translation>
    </message>
    <message>
        <source>Bits</source>
        <translation>Bits</translation>
    </message>
    <message>
        <source>LSB ---&gt; MSB</source>
        <translation>LSB ---&gt; MSB</translation>
    </message>
    <message>
        <source>DPI</source>
        <translation>DPI</translation>
    </message>
    <message>
        <source>Image...</source>
        <translation>Bild...</translation>
    </message>
    <message>
        <source>Foreground</source>
        <translation>Vordergrund</translation>
    </message>
    <message>
        <source>Background</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <source>Save in high quality</source>
        <translation>Hochwertig speichern</translation>
    </message>
    <message>
        <source>PDF...</source>
        <translation>PDF...</translation>
    </message>
    <message>
        <source>Use Gray code</source>
        <translation>Gray-Code verwenden</translation>
    </message>
    <message>
        <source>Can&apos;t write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 has a bad value: %2; nothing was changed</source>
        <translation>%1 enthält einen ungültigen Wert: %2; nichts wurde geändert</translation>
    </message>
    <message>
        <source>Pairs</source>
        <translation>Paare</translation>
    </message>
    <message>
        <source>MSB ---&gt; LSB</source>
        <translation>MSB ---&gt; LSB</translation>
    </message>
    <message>
        <source>a single-track code is read round a disc; use --shape disc</source>
        <translation>ein Einspur-Code wird rund um eine Scheibe gelesen; --shape disc verwenden</translation>
    </message>
    <message>
        <source>Quvelta by ardin51, %1 x %2</source>
        <translation>Quvelta von ardin51, %1 x %2</translation>
    </message>
    <message>
        <source>Save design</source>
        <translation>Design speichern</translation>
    </message>
    <message>
        <source>Quvelta designs (*.quvelta)</source>
        <translation>Quvelta-Designs (*.quvelta)</translation>
    </message>
    <message>
        <source>Open design</source>
        <translation>Design öffnen</translation>
    </message>
    <message>
        <source>Quvelta designs (*.quvelta);;All files (*)</source>
        <translation>Quvelta-Designs (*.quvelta);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>not a regular file; the window saves files only (quvelta-render writes into FIFOs and devices)</source>
        <translation>keine reguläre Datei; das Fenster speichert nur Dateien (quvelta-render schreibt auch in FIFOs und Geräte)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Can&apos;t render image</source>
        <translation>Bild kann nicht gezeichnet werden</translation>
    </message>
    <message>
        <source>Positions</source>
        <translation>Positionen</translation>
    </message>
    <message>
        <source>Any number of positions instead of 2^bits</source>
        <translation>Beliebig viele Positionen statt 2^Bits</translation>
    </message>
    <message>
        <source>Code as on the form</source>
        <translation>Code wie im Formular</translation>
    </message>
    <message>
        <source>Binary code</source>
        <translation>Binärcode</translation>
    </message>
    <message>
        <source>Gray code</source>
        <translation>Gray-Code</translation>
    </message>
    <message>
        <source>Single-track code</source>
        <translation>Einspur-Code</translation>
    </message>
    <message>
        <source>A/B</source>
        <translation>A/B</translation>
    </message>
    <message>
        <source>Quadrature: channels A and B a quarter period apart</source>
        <translation>Quadratur: Kanäle A und B um eine Viertelperiode versetzt</translation>
    </message>
    <message>
        <source>Index</source>
        <translation>Index</translation>
    </message>
    <message>
        <source>One index mark per turn or strip</source>
        <translation>Eine Indexmarke pro Umdrehung oder Streifen</translation>
    </message>
    <message>
        <source>Classic &amp;pixels</source>
        <translation>Klassische &amp;Pixel</translation>
    </message>
    <message>
        <source>Whole-pixel tracks and segments, truncated as older files were; their edges can be off by pixels</source>
        <translation>Spuren und Segmente aus ganzen Pixeln, abgeschnitten wie in älteren Dateien; ihre Kanten können um Pixel abweichen</translation>
    </message>
    <message>
        <source>R&amp;uler and legend</source>
        <translation>Lineal &amp;und Legende</translation>
    </message>
    <message>
        <source>Calibration rulers and a legend beside the pattern in images and PDF</source>
        <translation>Kalibrierlineale und eine Legende neben dem Muster in Bildern und PDF</translation>
    </message>
    <message>
        <source>Bias [mm]</source>
        <translation>Korrektur [mm]</translation>
    </message>
    <message>
        <source>Every mark wider by this much; negative for ink spread</source>
        <translation>Jede Marke um so viel breiter; negativ gegen verlaufende Tinte</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Op&amp;tions...</source>
        <translation>Op&amp;tionen...</translation>
    </message>
    <message>
        <source>Ruler, mark bias, classic pixels, index width, sensor marks, transparent vector files, the check&apos;s aperture, printer scale, start</source>
        <translation>Lineal, Markenkorrektur, klassische Pixel, Indexbreite, Sensormarken, transparente Vektordateien, Blende der Prüfung, Druckermaßstab, Start</translation>
    </message>
    <message>
        <source>More</source>
        <translation>Mehr</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source> °</source>
        <translation> °</translation>
    </message>
    <message>
        <source>Width of the index mark in electrical degrees, 360 to a period (--index-width)</source>
        <translation>Breite der Indexmarke in elektrischen Grad, 360 je Periode (--index-width)</translation>
    </message>
    <message>
        <source>&amp;Sensor marks</source>
        <translation>&amp;Sensormarken</translation>
    </message>
    <message>
        <source>Ticks outside the pattern where the sensors read (--sensor-marks)</source>
        <translation>Striche außerhalb des Musters, wo die Sensoren lesen (--sensor-marks)</translation>
    </message>
    <message>
        <source>&amp;Transparent background in SVG, DXF and vector PDF</source>
        <translation>&amp;Transparenter Hintergrund in SVG, DXF und Vektor-PDF</translation>
    </message>
    <message>
        <source>Vector files without the background rectangle, for PCB and cutter imports (--transparent)</source>
        <translation>Vektordateien ohne das Hintergrundrechteck, für den Import in Leiterplatten- und Schneideprogramme (--transparent)</translation>
    </message>
    <message>
        <source> mm</source>
        <translation> mm</translation>
    </message>
    <message>
        <source>The sensor&apos;s slit or spot width for the read-back on the More page; 0: one pixel (--aperture)</source>
        <translation>Spalt- oder Fleckbreite des Sensors für das Zurücklesen auf der Seite „Mehr“; 0: ein Pixel (--aperture)</translation>
    </message>
    <message>
        <source>one pixel</source>
        <translation>ein Pixel</translation>
    </message>
    <message>
        <source>The printer&apos;s measured scale across (0.992: it prints 99.2 %); images and PDFs are drawn 1/scale as wide so that it prints them true (--scale-x)</source>
        <translation>Der gemessene Maßstab des Druckers quer (0,992: er druckt 99,2 %); Bilder und PDFs werden 1/Maßstab so breit gezeichnet, damit er sie maßhaltig druckt (--scale-x)</translation>
    </message>
    <message>
        <source>The same down the page (--scale-y)</source>
        <translation>Dasselbe längs der Seite (--scale-y)</translation>
    </message>
    <message>
        <source>&amp;Restore the last settings at start</source>
        <translation>Letzte Einstellungen beim Start &amp;wiederherstellen</translation>
    </message>
    <message>
        <source>Off: the window always starts with its default values</source>
        <translation>Aus: das Fenster startet immer mit seinen Standardwerten</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Mark &amp;bias:</source>
        <translation>Marken&amp;korrektur:</translation>
    </message>
    <message>
        <source>Incremental</source>
        <translation>Inkrementell</translation>
    </message>
    <message>
        <source>&amp;Index width:</source>
        <translation>&amp;Indexbreite:</translation>
    </message>
    <message>
        <source>Marks and files</source>
        <translation>Marken und Dateien</translation>
    </message>
    <message>
        <source>&amp;Aperture for the check:</source>
        <translation>&amp;Blende für die Prüfung:</translation>
    </message>
    <message>
        <source>Scale &amp;x (across):</source>
        <translation>Maßstab &amp;x (quer):</translation>
    </message>
    <message>
        <source>Scale &amp;y (down):</source>
        <translation>Maßstab &amp;y (längs):</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>&amp;Open design...</source>
        <translation>Design ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>Open &amp;recent</source>
        <translation>&amp;Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(keine)</translation>
    </message>
    <message>
        <source>Save &amp;design...</source>
        <translation>&amp;Design speichern...</translation>
    </message>
    <message>
        <source>Save &amp;image...</source>
        <translation>&amp;Bild speichern...</translation>
    </message>
    <message>
        <source>Save PD&amp;F...</source>
        <translation>&amp;PDF speichern...</translation>
    </message>
    <message>
        <source>Save as &amp;SVG...</source>
        <translation>Als &amp;SVG speichern...</translation>
    </message>
    <message>
        <source>Save as &amp;vector PDF...</source>
        <translation>Als &amp;Vektor-PDF speichern...</translation>
    </message>
    <message>
        <source>Save as D&amp;XF...</source>
        <translation>Als D&amp;XF speichern...</translation>
    </message>
    <message>
        <source>Save decode &amp;table...</source>
        <translation>Dekodier&amp;tabelle speichern...</translation>
    </message>
    <message>
        <source>&amp;Copy image</source>
        <translation>Bild &amp;kopieren</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>Dr&amp;ucken...</translation>
    </message>
    <message>
        <source>Calibration pa&amp;ge...</source>
        <translation>Kalibrierse&amp;ite...</translation>
    </message>
    <message>
        <source>&amp;Measure a scan...</source>
        <translation>Scan &amp;messen...</translation>
    </message>
    <message>
        <source>Optio&amp;ns...</source>
        <translation>Optio&amp;nen...</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>B&amp;eenden</translation>
    </message>
    <message>
        <source>Right-click, the menu key or F10: save, print, designs, options</source>
        <translation>Rechtsklick, Menütaste oder F10: Speichern, Drucken, Designs, Optionen</translation>
    </message>
    <message>
        <source>Foreground colour</source>
        <translation>Vordergrundfarbe</translation>
    </message>
    <message>
        <source>Background colour</source>
        <translation>Hintergrundfarbe</translation>
    </message>
    <message>
        <source>Not enough memory to measure the pattern</source>
        <translation>Nicht genug Speicher, um das Muster zu vermessen</translation>
    </message>
    <message>
        <source>Narrowest mark %1
Narrowest gap %2</source>
        <translation>Schmalste Marke %1
Schmalste Lücke %2</translation>
    </message>
    <message>
        <source>Narrowest mark %1, gap %2
Does not read: %3</source>
        <translation>Schmalste Marke %1, Lücke %2
Nicht lesbar: %3</translation>
    </message>
    <message>
        <source>&lt;p&gt;Click for details. The narrowest mark and gap of the pattern; red where a track vanishes at this DPI or would not read&lt;/p&gt;</source>
        <translation>&lt;p&gt;Klicken für Details. Die schmalste Marke und Lücke des Musters; rot, wo eine Spur bei dieser DPI-Zahl verschwindet oder nicht lesbar wäre&lt;/p&gt;</translation>
    </message>
    <message>
        <source>%1 x %2 mm</source>
        <translation>%1 x %2 mm</translation>
    </message>
    <message>
        <source>The pattern is %1; it does not fit the printable area of this %2 page either way, and the page is too small to print it in tiles. It needs a paper of at least %3 x %4 mm.</source>
        <translation>Das Muster ist %1 groß; es passt in keiner Ausrichtung in den bedruckbaren Bereich dieser Seite (%2), und die Seite ist zu klein, um es in Kacheln zu drucken. Es braucht ein Papier von mindestens %3 x %4 mm.</translation>
    </message>
    <message numerus="yes">
        <source>The pattern is %1; it will print on %n pages of %2 (%3), %4 across and %5 down, to be joined along the marks. Print every page at 100 %.</source>
        <translation>
            <numerusform>Das Muster ist %1 groß; es wird auf %n Seite %2 (%3) gedruckt, %4 nebeneinander und %5 untereinander, entlang der Marken zusammenzufügen. Jede Seite mit 100 % drucken.</numerusform>
            <numerusform>Das Muster ist %1 groß; es wird auf %n Seiten %2 (%3) gedruckt, %4 nebeneinander und %5 untereinander, entlang der Marken zusammenzufügen. Jede Seite mit 100 % drucken.</numerusform>
        </translation>
    </message>
    <message>
        <source>landscape</source>
        <translation>Querformat</translation>
    </message>
    <message>
        <source>portrait</source>
        <translation>Hochformat</translation>
    </message>
    <message>
        <source>Quvelta page %1 of %2 (row %3, column %4); print at 100 %</source>
        <translation>Quvelta Seite %1 von %2 (Zeile %3, Spalte %4); mit 100 % drucken</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Drucken</translation>
    </message>
    <message>
        <source>Print at 100 % (actual size)</source>
        <translation>Mit 100 % drucken (Originalgröße)</translation>
    </message>
    <message>
        <source>Save calibration page</source>
        <translation>Kalibrierseite speichern</translation>
    </message>
    <message>
        <source>PDF (*.pdf);;Images (*.png *.tif *.tiff *.bmp *.jpg *.jpeg)</source>
        <translation>PDF (*.pdf);;Bilder (*.png *.tif *.tiff *.bmp *.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>Measure a scanned calibration page</source>
        <translation>Gescannte Kalibrierseite messen</translation>
    </message>
    <message>
        <source>Scans (*.png *.tif *.tiff *.jpg *.jpeg *.bmp);;All files (*)</source>
        <translation>Scans (*.png *.tif *.tiff *.jpg *.jpeg *.bmp);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Measured scan</source>
        <translation>Gemessener Scan</translation>
    </message>
    <message>
        <source>Use these corrections for printing?</source>
        <translation>Diese Korrekturen zum Drucken verwenden?</translation>
    </message>
    <message>
        <source>is not true or false</source>
        <translation>ist nicht true oder false</translation>
    </message>
    <message>
        <source>is not a whole number</source>
        <translation>ist keine ganze Zahl</translation>
    </message>
    <message>
        <source>%1 is not between %2 and %3</source>
        <translation>%1 liegt nicht zwischen %2 und %3</translation>
    </message>
    <message>
        <source>is not a number</source>
        <translation>ist keine Zahl</translation>
    </message>
    <message>
        <source>%1 has more than %2 decimals</source>
        <translation>%1 hat mehr als %2 Nachkommastellen</translation>
    </message>
    <message>
        <source>is not one of 0 to %1</source>
        <translation>ist keiner der Werte 0 bis %1</translation>
    </message>
    <message>
        <source>is not a colour such as #ff204060</source>
        <translation>ist keine Farbe wie #ff204060</translation>
    </message>
    <message>
        <source>, %1 above</source>
        <translation>, %1 darüber</translation>
    </message>
    <message>
        <source>, %1 below</source>
        <translation>, %1 darunter</translation>
    </message>
    <message>
        <source>&lt; %1</source>
        <translation>&lt; %1</translation>
    </message>
    <message>
        <source>%1 &gt;</source>
        <translation>%1 &gt;</translation>
    </message>
    <message>
        <source>%1 holds settings the window does not draw (%2); render it with quvelta-render --design</source>
        <translation>%1 enthält Einstellungen, die das Fenster nicht zeichnet (%2); mit quvelta-render --design zeichnen</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Save encoder image</source>
        <translation>Encoderbild speichern</translation>
    </message>
    <message>
        <source>Image Files (*.png *.jpg *.jpeg *.bmp *.tif *.tiff)</source>
        <translation>Bilddateien (*.png *.jpg *.jpeg *.bmp *.tif *.tiff)</translation>
    </message>
    <message>
        <source>PDF Files (*.pdf)</source>
        <translation>PDF-Dateien (*.pdf)</translation>
    </message>
    <message>
        <source>SVG Files (*.svg)</source>
        <translation>SVG-Dateien (*.svg)</translation>
    </message>
    <message>
        <source>DXF Files (*.dxf)</source>
        <translation>DXF-Dateien (*.dxf)</translation>
    </message>
    <message>
        <source>Save encoder drawing</source>
        <translation>Encoderzeichnung speichern</translation>
    </message>
    <message>
        <source>Save decode table</source>
        <translation>Dekodiertabelle speichern</translation>
    </message>
    <message>
        <source>Decode tables (*.csv *.json *.h)</source>
        <translation>Dekodiertabellen (*.csv *.json *.h)</translation>
    </message>
</context>
</TS>
