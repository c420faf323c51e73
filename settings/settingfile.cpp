// Reads and writes setting files.
#include "settingfile.h"

#include <algorithm>

#include <QFile>
#include <QSaveFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include "dspreg.h"

QString SettingFile::formatLine(const DspData &d)
{
    const QString chPart = d.ch >= 0 ? QStringLiteral("Ch%1 ").arg(d.ch) : QString();
    return QStringLiteral("%1 %2%3 : %4 %5 %6\n")
        .arg(QStringLiteral("DSP%1").arg(d.dspNo), chPart, d.name,
             QStringLiteral("%1").arg(d.hdr, 8, 16, QLatin1Char('0')),
             QStringLiteral("%1").arg(d.addr, 8, 16, QLatin1Char('0')),
             QStringLiteral("%1").arg(d.value, 4, 16, QLatin1Char('0')));
}

quint32 SettingFile::readHex(const QString &text)
{
    quint32 r = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        quint32 digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        r = r * 16 + digit;
    }
    return r;
}

QString SettingFile::nameOf(quint32 addr, int ch)
{
    if (ch < -1 || ch >= chOffsets.size())
        return DspData::padName(QString());
    quint32 base = addr;
    if (ch >= 0)
        base = addr - quint32(chOffsets.at(ch));
    for (const DspReg &r : allRegs) {
        if (r.addr == base)
            return DspData::padName(r.desc);
    }
    return DspData::padName(QString());
}

bool SettingFile::parseLine(const QString &line, DspData &out)
{
    const QString s = line.simplified();
    if (s.isEmpty() || s.startsWith(QLatin1Char('#')))
        return false;
    const QStringList p = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int n = p.size();

    DspData d;
    d.dspNo = p.at(0).mid(3).toInt();   // not a number gives 0
    int firstNumber = 1;                 // the unit mark never holds a number
    if (n > 1 && p.at(1).toUpper().startsWith(QLatin1String("CH"))) {
        d.ch = p.at(1).mid(2).toInt();
        firstNumber = 2;                 // nor does the channel mark
    } else {
        d.ch = -1;
    }
    // The numbers are taken from the end of the line, since the description
    // before the colon may hold blanks; a place that does not exist is empty.
    auto part = [&](int i) { return i >= firstNumber && i < n ? p.at(i) : QString(); };
    d.hdr = readHex(part(n - 3));
    d.addr = readHex(part(n - 2));
    d.value = readHex(part(n - 1));
    d.name = nameOf(d.addr, d.ch);
    out = d;
    return true;
}

SettingFile::Result SettingFile::save(const QString &fname, const QList<DspData> &config, QString *error,
                                      const QString &keepAs)
{
    auto fail = [error](Result r, const QString &why) {
        if (error)
            *error = why;
        return r;
    };
    QSaveFile f(fname);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(OpenFailed, f.errorString());
    QTextStream out(&f);
    out.setEncoding(QStringConverter::Utf8);
    for (const DspData &d : config)
        out << formatLine(d);
    out.flush();
    if (out.status() != QTextStream::Ok || f.error() != QFileDevice::NoError) {
        const QString why = f.errorString();
        f.cancelWriting();
        return fail(WriteFailed, why);
    }
    if (!keepAs.isEmpty() && QFile::exists(fname)) {
        QFile::remove(keepAs);
        QFile old(fname);
        if (!old.copy(keepAs)) {
            const QString why = old.errorString();
            f.cancelWriting();
            return fail(KeepFailed, why);
        }
    }
    if (!f.commit())
        return fail(WriteFailed, f.errorString());
    return Written;
}

bool SettingFile::writeFile(const QString &fname, const QList<DspData> &config)
{
    return save(fname, config) == Written;
}

bool SettingFile::holdsEveryUnit(const QString &fname)
{
    QList<DspData> records;
    if (!readFile(fname, records) || records.isEmpty())
        return false;
    return std::none_of(records.cbegin(), records.cend(), [](const DspData &d) { return d.addr == 0; });
}

bool SettingFile::readFile(const QString &fname, QList<DspData> &config)
{
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&f);
    QString line;
    while (in.readLineInto(&line)) {
        DspData d;
        if (parseLine(line, d))
            config.append(d);
    }
    f.close();
    return true;
}
