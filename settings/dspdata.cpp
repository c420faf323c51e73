// Pads register descriptions to the width the settings editor shows.
#include "dspdata.h"

QString DspData::padName(const QString &text)
{
    return text.leftJustified(nameWidth, QLatin1Char(' '), false);
}
