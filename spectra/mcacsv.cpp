// Writes and reads the CSV file of one element's spectrum.
#include "mcacsv.h"

#include <QRegularExpression>
#include <QLocale>
#include <QSaveFile>

#include <cmath>

namespace {

// Times and rates to the microsecond (the units count in 10 ns ticks, which
// only adds noise digits to a header), in their shortest form.
QString num(double v)
{
    const double rounded = std::isfinite(v) && std::abs(v) < 1e12 ? std::round(v * 1e6) / 1e6 : v;
    return QString::number(rounded, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString McaCsv::fileName(const Info &info)
{
    QString unit = info.where.unitName;
    unit.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    if (unit.isEmpty())
        unit = QStringLiteral("u%1").arg(info.where.unit);
    return QStringLiteral("mca_e%1_%2_ch%3.csv")
        .arg(info.element, 2, 10, QLatin1Char('0'))
        .arg(unit)
        .arg(info.where.channel);
}

QByteArray McaCsv::contents(const McaHistogram &r, const Info &info)
{
    QString unit = QString::number(info.where.unit);
    if (!info.where.unitName.isEmpty())
        unit += QStringLiteral(" (%1)").arg(info.where.unitName);
    QString text;
    text.reserve(64 + 12 * int(r.bins.size()));
    text += QStringLiteral("# element %1\n").arg(info.element);
    text += QStringLiteral("# unit %1\n").arg(unit);
    text += QStringLiteral("# channel %1\n").arg(r.channel);
    text += QStringLiteral("# real time %1 s\n").arg(num(r.realTime));
    text += QStringLiteral("# live time %1 s\n").arg(num(r.liveTime));
    text += QStringLiteral("# ICR %1\n").arg(num(r.icr));
    text += QStringLiteral("# measuring %1\n").arg(r.inMeas);
    text += info.hasMeasCount ? QStringLiteral("# measurement count %1\n").arg(info.measCount)
                              : QStringLiteral("# measurement count -\n");
    text += info.hasMeasNum ? QStringLiteral("# measurement number %1\n").arg(info.measNum)
                            : QStringLiteral("# measurement number -\n");
    text += QStringLiteral("# bins %1, counts %2\n").arg(r.bins.size()).arg(r.sum());
    text += QStringLiteral("bin,counts\n");
    for (int i = 0; i < r.bins.size(); ++i) {
        text += QString::number(i);
        text += QLatin1Char(',');
        text += QString::number(r.bins.at(i));
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

bool McaCsv::write(const QString &path, const McaHistogram &spectrum, const Info &info, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    f.write(contents(spectrum, info));
    if (!f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}
