// How the measurement service reads request parameters and formats answers.
#pragma once

#include <QString>
#include <QtGlobal>

// How the measurement service reads the parameters of STARS requests and how
// it writes numbers into answers. Plain functions without state, shared by all
// request handlers of Body.
//
// The lenient readers take an optional `read`: set false when the text was
// not what they read (no number, no known name), so that the value is the
// rule's fallback and the operator should hear of the typo.
class ParamRules
{
public:
    // The element number in `text` when it is a decimal integer in
    // 0 .. elementCount - 1, else -1.
    static int elementNo(const QString &text, int elementCount);

    // A measurement number: a decimal integer, anything else 0.
    static int measNum(const QString &text);

    // Preset type of "SetPresetType": NONE 0, REAL 1, LIVE 2 (any case);
    // else an integer 1 or 2 as it is, 3 or more 1, anything else 0.
    static int presetType(const QString &text, bool *read = nullptr);

    // Normalisation type of "SetNormalizeType": REAL/0, LIVE/1, NONE/2 (any
    // case); any other text keeps `current`.
    static int normalizeType(const QString &text, int current, bool *read = nullptr);
    // "Real" for 0, "Live" for 1, "None" for anything else.
    static QString normalizeName(int type);

    // A decimal floating-point number; no number (or NaN) gives 0.
    static double number(const QString &text, bool *read = nullptr);

    // Register value of "SetConfig": "0x..." hexadecimal, else decimal; a text
    // that is no integer or does not fit in 32 bits gives 0. Negative decimal
    // values down to -2^31 give their two's complement.
    static quint32 configValue(const QString &text, bool *read = nullptr);

    // A floating-point number as answered: format 'g', 6 significant digits.
    static QString gText(double v);
    // Lower-case hexadecimal without leading zeros, after "0x".
    static QString hexText(quint64 v);
};
