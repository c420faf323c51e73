// The conversion parameters of the HV unit's raw voltage reading.
#pragma once

#include <QString>
#include <QtGlobal>

// The conversion parameters of the HV unit's raw voltage reading, and the
// readers of the configuration texts that set them ("HV_READ_PARAMS" and
// "HV_READ_TYPE"). The readers take the text after the key (the rest of the
// configuration line) and never fail: words that are not numbers read as 0.
struct HvReadParams
{
    double fullScale = 200.0;   // volts for the full raw range
    quint32 rawMin = 0x8000;    // raw reading of 0 V
    quint32 rawMax = 0xFFFF;    // largest raw reading

    bool operator==(const HvReadParams &o) const
    {
        return fullScale == o.fullScale && rawMin == o.rawMin && rawMax == o.rawMax;
    }
    bool operator!=(const HvReadParams &o) const { return !(*this == o); }

    // The parameters of the read-out types 0, 1 and 2.
    static HvReadParams ofType(int type);

    // "HV_READ_PARAMS": full scale, raw minimum, raw maximum. Returns false
    // (leaving `out` untouched) when the text holds no word.
    static bool fromParamsText(const QString &rest, HvReadParams &out);

    // "HV_READ_TYPE": word 1 as a decimal integer (not a number counts as 0).
    // Returns false (leaving `out` untouched) when the text holds no word or
    // the type is none of 0, 1, 2.
    static bool fromTypeText(const QString &rest, HvReadParams &out);

    // One raw word of "HV_READ_PARAMS": "0x"/"0X" and hexadecimal digits, or
    // a decimal unsigned integer; anything else, or a value beyond 32 bits, is 0.
    static quint32 readRawWord(const QString &word);
};
