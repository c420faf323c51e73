// Reads and checks the bounds of one ROI.
#include "roibounds.h"

#include "paramrules.h"

#include <cmath>
#include <limits>

int RoiBounds::toIntClamped(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(v);
}

RoiBounds RoiBounds::fromTexts(const QString &a, const QString &b)
{
    bool readA = true;
    bool readB = true;
    const double x = ParamRules::number(a, &readA);
    const double y = ParamRules::number(b, &readB);
    RoiBounds r;
    if (!readA)
        r.unread << a;
    if (!readB)
        r.unread << b;
    r.from = std::min(x, y);
    r.to = std::max(x, y);
    r.start = toIntClamped(r.from);
    r.end = toIntClamped(r.to);
    return r;
}
