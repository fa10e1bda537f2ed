#ifndef QUVELTA_VECTORWRITER_H
#define QUVELTA_VECTORWRITER_H

#include "encodersettings.h"

#include <QString>

namespace VectorExport {

// The pattern as SVG: the painters' shapes in a viewBox of image pixels, with the document's
// width and height in millimetres so that it opens at its physical size.
bool writeSvg(const EncoderSettings &settings, const QString &fileName, QString *error);

// The pattern as vector paths on the same page as the raster PDF: nominal size plus 10 mm on
// every side, the pattern's top-left corner one margin in.
bool writeVectorPdf(const EncoderSettings &settings, const QString &fileName, QString *error);

}

#endif
