// How request parameters and configuration texts are read: one table for
// every parser the service uses, including malformed input.
#include <QtTest>

#include <functional>

#include "datalinkrules.h"
#include "dspreg.h"
#include "paramrules.h"
#include "reglookup.h"
#include "roibounds.h"

class TstParamRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { buildRegMap(); }
    void parse_data();
    void parse();
};

void TstParamRules::parse_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *kind, const char *text, const char *expected) {
        QTest::addRow("%s [%s]", kind, text) << QString::fromLatin1(kind) << QString::fromUtf8(text)
                                             << QString::fromLatin1(expected);
    };
    // " ?" marks a text that was not read: the value is the rule's fallback.
    // Element numbers of three elements.
    row("elm", "2", "2");
    row("elm", "+1", "1");
    row("elm", "3", "-1");
    row("elm", "-1", "-1");
    row("elm", "1x", "-1");
    row("elm", "99999999999999999999", "-1");
    row("meas", "5", "5");
    row("meas", "5.5", "0");
    row("meas", "12345678901234", "0");
    row("preset", "real", "1");
    row("preset", "Live", "2");
    row("preset", "5", "1");
    row("preset", "-1", "0");
    row("preset", "fast", "0 ?");
    // Normalisation type with Live current: other texts keep it.
    row("norm", "REAL", "Real");
    row("norm", "none", "None");
    row("norm", "7", "Live ?");
    row("norm", "00", "Live ?");
    row("num", "1e3", "1000");
    row("num", "NaN", "0 ?");
    row("num", "1,5", "0 ?");
    row("cfg", "0x1F4", "500");
    row("cfg", "500", "500");
    row("cfg", "0x100000000", "0 ?");
    row("cfg", "4294967296", "0 ?");
    row("cfg", "-1", "4294967295");
    row("cfg", "-2147483649", "0 ?");
    row("cfg", "0X10", "0 ?");
    row("cfg", "0x-5", "0 ?");
    // Listening address of the data link: no name is looked up.
    row("listen", " LocalHost ", "127.0.0.1");
    row("listen", "::1", "::1");
    row("listen", "example.invalid", "");
    row("listen", "127.0.0.300", "");
    row("listen", "127.0.0.1:6058", "");
    row("delay", "250.9", "250");
    row("delay", "-5", "0");
    row("delay", "nan", "0");
    row("delay", "inf", "2147483647");
    row("ch", "7", "3");
    row("ch", "-2", "0");
    row("ch", "4294967297", "3");
    row("ch", "one", "0 ?");
    // Registers by name and channel: unit-wide ones take no channel offset.
    row("reg", "RealTime1 3", "b400001c");
    row("reg", "SFilterPeakingT 2", "b400060a");
    row("reg", "sfilterpeakingt 0", "0");
    // ROI bounds "start end from to": ordered, truncated, clamped.
    row("roi", "300 100", "100 300 100 300");
    row("roi", "-0.5 -3.7", "-3 0 -3.7 -0.5");
    row("roi", "nan 7", "0 7 0 7 ?");
    row("roi", "1e20 5", "5 2147483647 5 1e+20");
    row("roi", "inf -inf", "-2147483648 2147483647 -inf inf");
}

void TstParamRules::parse()
{
    using Parser = std::function<QString(const QString &, const QStringList &)>;
    auto n = [](qint64 v) { return QString::number(v); };
    // `read` by reference: it is looked at after the parser has set it.
    auto mark = [](const QString &v, const bool &read) { return read ? v : v + QStringLiteral(" ?"); };
    const QHash<QString, Parser> parsers{
        {"elm", [&](const QString &t, const QStringList &) { return n(ParamRules::elementNo(t, 3)); }},
        {"meas", [&](const QString &t, const QStringList &) { return n(ParamRules::measNum(t)); }},
        {"preset", [&](const QString &t, const QStringList &) { bool r = true; return mark(n(ParamRules::presetType(t, &r)), r); }},
        {"norm", [&](const QString &t, const QStringList &) {
             bool r = true;
             return mark(ParamRules::normalizeName(ParamRules::normalizeType(t, 1, &r)), r); }},
        {"num", [&](const QString &t, const QStringList &) { bool r = true; return mark(ParamRules::gText(ParamRules::number(t, &r)), r); }},
        {"cfg", [&](const QString &t, const QStringList &) { bool r = true; return mark(n(ParamRules::configValue(t, &r)), r); }},
        {"listen", [](const QString &t, const QStringList &) { return DataLinkRules::listenAddress(t).toString(); }},
        {"delay", [&](const QString &t, const QStringList &) { return n(DataLinkRules::delayMs(t)); }},
        {"ch", [&](const QString &t, const QStringList &) { bool r = true; return mark(n(RegLookup::channel(t, &r)), r); }},
        {"reg", [](const QString &, const QStringList &w) {
             return QString::number(RegLookup::address(w.at(0), w.at(1).toInt()), 16); }},
        {"roi", [&](const QString &, const QStringList &w) {
             const RoiBounds r = RoiBounds::fromTexts(w.at(0), w.at(1));
             return mark(QStringLiteral("%1 %2 %3 %4").arg(r.start).arg(r.end).arg(r.from).arg(r.to), r.unread.isEmpty()); }},
    };
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QTEST(parsers.value(kind)(text, text.split(QLatin1Char(' '))), "expected");
}

QTEST_APPLESS_MAIN(TstParamRules)
#include "tst_paramrules.moc"
