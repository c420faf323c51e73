// Builds the answer of the preset queries from one text per unit.
#include "presetanswer.h"

QString PresetAnswer::build(const QStringList &texts)
{
    if (texts.isEmpty())
        return QStringLiteral("Er: No DSPs are managed");
    const QString &first = texts.first();
    for (const QString &t : texts) {
        if (t != first)
            return QStringLiteral("%1 Er: Preset Types are different. (%2)")
                .arg(first, texts.join(QLatin1Char(' ')));
    }
    return first;
}
