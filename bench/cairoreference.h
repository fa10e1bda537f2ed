#ifndef QUVELTA_CAIROREFERENCE_H
#define QUVELTA_CAIROREFERENCE_H

#include "encodersettings.h"

#include <QImage>

// The disc tracks drawn with Cairo, the same geometry (pie sectors, clearing disc per track,
// outermost first) into the same kind of RGB32 buffer: the reference another engineer would
// reach for.
void cairoDrawDisc(QImage &image, const EncoderSettings &settings, bool antialias);

#endif
