#include "peersession.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QRegularExpression>

#include <cstdio>

#include "buskeys.h"
#include "peerexit.h"
#include "mcacsv.h"
#include "histogramplot.h"
#include "transfercheck.h"

namespace {

QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

PeerSession::PeerSession(const PeerOptions &options, Sink out, Sink err)
    : opts(options)
    , out(std::move(out))
    , err(std::move(err))
    , waitTimeoutMs(options.waitTimeoutMs)
{
    link.setExpectedBins(quint64(opts.bins));
}

bool PeerSession::stepsOf(const PeerOptions &options, QList<PeerStep> &steps, QString *error)
{
    steps.clear();
    for (const QString &r : options.requests) {
        const PeerStep s = PeerStep::parse(r);
        if (s.kind == PeerStep::Invalid) {
            if (error)
                *error = QStringLiteral("\"%1\": %2").arg(r, s.error);
            return false;
        }
        if (s.kind != PeerStep::Nothing)
            steps << s;
    }
    if (!options.scriptFile.isEmpty()) {
        QByteArray text;
        if (options.scriptFile == QLatin1String("-")) {
            QFile in;
            if (!in.open(stdin, QIODevice::ReadOnly)) {
                if (error)
                    *error = QStringLiteral("cannot read the standard input");
                return false;
            }
            text = in.readAll();
        } else {
            QFile f(options.scriptFile);
            if (!f.open(QIODevice::ReadOnly)) {
                if (error)
                    *error = QStringLiteral("cannot read script %1: %2").arg(options.scriptFile, f.errorString());
                return false;
            }
            text = f.readAll();
        }
        QString why;
        const QList<PeerStep> more = PeerStep::parseScript(QString::fromUtf8(text), &why);
        if (!why.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(options.scriptFile, why);
            return false;
        }
        steps << more;
    }
    if (!options.mcaDir.isEmpty()) {
        bool asked = false;
        for (const PeerStep &s : steps)
            asked = asked || (s.kind == PeerStep::Request && s.to.isEmpty() && s.cmd == QLatin1String("GetMCAs"));
        if (!asked)
            steps << PeerStep::parse(QStringLiteral("GetMCAs"));
    }
    return true;
}

void PeerSession::print(const QString &tag, const QString &text)
{
    out(QStringLiteral("%1 %2 %3").arg(stamp(), tag, text));
}

void PeerSession::note(const QString &text)
{
    print(QStringLiteral("--"), text);
}

void PeerSession::fail(const QString &text)
{
    err(QStringLiteral("%1 !! %2").arg(stamp(), text));
}

std::optional<StarsLine> PeerSession::nextLine(int timeoutMs)
{
    const std::optional<QString> raw = node.waitForLine(std::max(0, timeoutMs));
    if (!raw)
        return std::nullopt;
    const StarsLine l = StarsLine::parse(*raw);
    if (l.ok && l.kind == StarsLine::Event) {
        print(QStringLiteral("**"), *raw);
        events << l;
    } else if (l.ok && l.kind == StarsLine::Answer) {
        print(QStringLiteral("<<"), *raw);
    } else {
        print(QStringLiteral("<-"), *raw);
    }
    return l;
}

void PeerSession::printPending()
{
    while (node.pendingCount() > 0 || node.isConnected()) {
        if (!nextLine(node.pendingCount() > 0 ? 1 : 0))
            break;
    }
}

int PeerSession::login()
{
    const QString keyFile = opts.effectiveKeyFile();
    QList<QByteArray> keys;
    if (!BusKeys::readKeyFile(keyFile, keys)) {
        fail(QStringLiteral("cannot read key file %1").arg(QFileInfo(keyFile).absoluteFilePath()));
        return PeerExit::KeyFile;
    }
    if (keys.isEmpty()) {
        fail(QStringLiteral("key file %1 holds no key").arg(QFileInfo(keyFile).absoluteFilePath()));
        return PeerExit::KeyFile;
    }

    QHostAddress address(opts.host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : opts.host);
    if (address.isNull()) {
        const QHostInfo info = QHostInfo::fromName(opts.host);
        if (!info.addresses().isEmpty())
            address = info.addresses().first();
    }
    if (address.isNull()) {
        fail(QStringLiteral("cannot find the STARS server %1").arg(opts.host));
        return PeerExit::NoServer;
    }

    if (!node.connectToBus(address, quint16(opts.port), opts.name, keyFile, opts.timeoutMs)) {
        const QString why = node.errorString();
        if (why.startsWith(QLatin1String("cannot connect"))) {
            fail(QStringLiteral("cannot reach the STARS server at %1:%2 (%3)").arg(opts.host).arg(opts.port).arg(why));
            return PeerExit::NoServer;
        }
        if (why.startsWith(QLatin1String("no challenge")) || why.startsWith(QLatin1String("no reply"))) {
            fail(QStringLiteral("the STARS server at %1:%2 did not complete the log-in within %3 ms (%4)")
                     .arg(opts.host).arg(opts.port).arg(opts.timeoutMs).arg(why));
            return PeerExit::TimedOut;
        }
        if (why.startsWith(QLatin1String("no key"))) {
            fail(QStringLiteral("key file %1 holds no key").arg(QFileInfo(keyFile).absoluteFilePath()));
            return PeerExit::KeyFile;
        }
        fail(QStringLiteral("log-in as %1 refused: %2").arg(opts.name, why));
        return PeerExit::LoginRefused;
    }
    note(QStringLiteral("logged in to %1:%2 as %3").arg(opts.host).arg(opts.port).arg(opts.name));
    return PeerExit::Ok;
}

int PeerSession::request(const QString &to, const QString &text, QString *answer)
{
    const QString line = QStringLiteral("%1>%2 %3").arg(opts.name, to, text);
    const QString cmd = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).value(0);
    const QString toName = to.section(QLatin1Char('.'), 0, 0);
    if (!node.send(line)) {
        fail(QStringLiteral("the STARS connection is lost; cannot send \"%1\"").arg(line));
        return PeerExit::Lost;
    }
    print(QStringLiteral(">>"), line);
    QDeadlineTimer deadline(opts.timeoutMs);
    for (;;) {
        const std::optional<StarsLine> l = nextLine(int(std::max<qint64>(0, deadline.remainingTime())));
        if (!l) {
            if (!node.isConnected()) {
                fail(QStringLiteral("the STARS connection was lost while waiting for the answer to \"%1\"").arg(text));
                return PeerExit::Lost;
            }
            if (deadline.hasExpired()) {
                fail(QStringLiteral("no answer to \"%1\" from %2 within %3 ms").arg(text, to).arg(opts.timeoutMs));
                return PeerExit::TimedOut;
            }
            continue;
        }
        if (l->ok && l->kind == StarsLine::Answer && l->cmd == cmd
            && (l->fromName == toName || l->fromName == QLatin1String("System"))) {
            if (answer)
                *answer = l->text;
            if (StarsLine::isErrorText(l->text)) {
                fail(QStringLiteral("\"%1\" answered: %2").arg(text, l->text));
                return PeerExit::ErrorAnswer;
            }
            return PeerExit::Ok;
        }
    }
}

int PeerSession::waitEvent(const PeerStep &step)
{
    auto matches = [&](const StarsLine &l) {
        if (l.fromName != opts.marlo || l.cmd != step.event)
            return false;
        return step.args.isEmpty()
               || l.text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts) == step.args;
    };
    const QString wanted = (QStringList{step.event} + step.args).join(QLatin1Char(' '));
    note(QStringLiteral("waiting for %1 (at most %2 ms)").arg(wanted).arg(waitTimeoutMs));
    QDeadlineTimer deadline(waitTimeoutMs);
    for (;;) {
        for (int i = 0; i < events.size(); ++i) {
            if (matches(events.at(i))) {
                events = events.mid(i + 1);
                return PeerExit::Ok;
            }
        }
        events.clear();
        if (!nextLine(int(std::max<qint64>(0, deadline.remainingTime())))) {
            if (!node.isConnected()) {
                fail(QStringLiteral("the STARS connection was lost while waiting for %1").arg(wanted));
                return PeerExit::Lost;
            }
            if (deadline.hasExpired()) {
                fail(QStringLiteral("no event %1 from %2 within %3 ms").arg(wanted, opts.marlo).arg(waitTimeoutMs));
                return PeerExit::TimedOut;
            }
        }
    }
}

void PeerSession::sleepFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (!nextLine(int(std::max<qint64>(1, deadline.remainingTime()))) && !node.isConnected())
            break;
    }
}

int PeerSession::fetchMcas()
{
    int rc = connectDataLink();
    if (rc != PeerExit::Ok)
        return rc;
    QList<ElementInfo> expected;
    int count = -1;
    QList<QPair<int, int>> rois = opts.rois;
    rc = learnElements(expected, count, rois);
    if (rc != PeerExit::Ok)
        return rc;
    fetched = Fetched();
    QList<PeerRecord> records;
    QList<ElementInfo> elements;
    rc = receiveTransfer(count, expected, records, elements);
    if (rc != PeerExit::Ok)
        return rc;
    if (!link.reply(QByteArrayLiteral("Ack"))) {
        fail(QStringLiteral("the data link was closed before the Ack"));
        return PeerExit::DataLink;
    }
    qint64 bytes = 0;
    for (const PeerRecord &r : records)
        bytes += PeerRecord::headerBytes + 4 * r.bins.size();
    note(QStringLiteral("data link: %1 records, %2 bytes, sent Ack").arg(records.size()).arg(bytes));
    fetched.records = records;
    fetched.elements = elements;
    return writeFiles(records, elements, rois);
}

int PeerSession::connectDataLink()
{
    // Where the data link listens.
    if (link.isConnected())
        return PeerExit::Ok;
    QString answer;
    const int rc = request(opts.marlo, QStringLiteral("GetDataLinkCh"), &answer);
    if (rc != PeerExit::Ok)
        return rc;
    const QStringList hp = answer.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    bool ok = false;
    const uint port = hp.value(1).toUInt(&ok);
    if (hp.size() != 2 || !ok || port == 0 || port > 65535) {
        fail(QStringLiteral("the data-link address \"%1\" is not HOST PORT").arg(answer));
        return PeerExit::DataLink;
    }
    const QString host = hp.at(0) == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : hp.at(0);
    QString why;
    if (!link.connectTo(host, quint16(port), opts.timeoutMs, &why)) {
        fail(QStringLiteral("cannot connect the data link %1:%2: %3").arg(host).arg(port).arg(why));
        return PeerExit::DataLink;
    }
    note(QStringLiteral("data link connected to %1:%2").arg(host).arg(port));
    return PeerExit::Ok;
}

int PeerSession::learnElements(QList<ElementInfo> &expected, int &count, QList<QPair<int, int>> &rois)
{
    // The elements: from the configuration, else counted from Marlo's ROIs.
    if (!opts.configFile.isEmpty()) {
        QString why;
        if (!ElementLayout::fromConfig(opts.configFile, expected, &why)) {
            fail(why);
            return PeerExit::Usage;
        }
        count = int(expected.size());
    }
    if (count < 0 || opts.roisFromMarlo) {
        QString answer;
        const int rc = request(opts.marlo, QStringLiteral("GetROIs"), &answer);
        if (rc == PeerExit::Lost)
            return rc;
        const QStringList w = answer.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        QList<int> v;
        for (const QString &s : w) {
            bool ok = false;
            const int n = s.toInt(&ok);
            if (!ok)
                break;
            v << n;
        }
        const bool usable = rc == PeerExit::Ok && v.size() == w.size() && v.size() % 2 == 0
                            && v.size() / 2 <= DataLinkReader::maxRecords;
        if (usable && count < 0)
            count = int(v.size() / 2);
        if (usable && opts.roisFromMarlo) {
            for (int i = 0; i + 1 < v.size(); i += 2)
                rois << qMakePair(v.at(i), v.at(i + 1));
        }
        if (!usable && count < 0)
            note(QStringLiteral("the number of elements is not known; reading records until the link is idle"));
    }
    return PeerExit::Ok;
}

int PeerSession::receiveTransfer(int count, const QList<ElementInfo> &expected, QList<PeerRecord> &records,
                                 QList<ElementInfo> &elements)
{
    // Asks once; a malformed transfer is answered "NAck" up to opts.retries times.
    for (int attempt = 0;; ++attempt) {
        if (attempt == 0) {
            const int rc = request(opts.marlo, QStringLiteral("GetMCAs"), nullptr);
            if (rc != PeerExit::Ok)
                return rc;
        }
        const qint64 before = link.bytesReceived();
        QString why;
        DataLinkReader::Outcome o = link.readTransfer(count, opts.timeoutMs, records, &why);
        if (o == DataLinkReader::Outcome::Ok) {
            why = TransferCheck::check(records, expected, elements);
            if (!why.isEmpty())
                o = DataLinkReader::Outcome::Malformed;
        }
        if (o == DataLinkReader::Outcome::Ok)
            return PeerExit::Ok;
        if (o == DataLinkReader::Outcome::Lost) {
            fail(why);
            link.close();
            return PeerExit::DataLink;
        }
        const bool gotSome = link.bytesReceived() > before;
        if (o == DataLinkReader::Outcome::TimedOut && !gotSome) {
            fail(why);
            return PeerExit::DataLink;
        }
        if (attempt >= opts.retries) {
            fail(QStringLiteral("malformed transfer (%1); giving up after %2 \"NAck\"").arg(why).arg(attempt));
            link.close();
            return PeerExit::DataLink;
        }
        fail(QStringLiteral("malformed transfer: %1").arg(why));
        const qint64 dropped = link.drain(200, opts.timeoutMs);
        if (!link.reply(QByteArrayLiteral("NAck"))) {
            fail(QStringLiteral("the data link was closed"));
            return PeerExit::DataLink;
        }
        ++fetched.nacks;
        note(QStringLiteral("data link: %1 bytes dropped, sent NAck (%2 of %3)").arg(dropped).arg(attempt + 1).arg(opts.retries));
    }
}

int PeerSession::writeFiles(const QList<PeerRecord> &records, const QList<ElementInfo> &elements,
                            const QList<QPair<int, int>> &rois)
{
    QDir dir(opts.mcaDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        fail(QStringLiteral("cannot make the folder %1").arg(opts.mcaDir));
        return PeerExit::Files;
    }
    QStringList labels;
    for (int k = 0; k < records.size(); ++k) {
        const PeerRecord &r = records.at(k);
        McaCsv::Info info;
        info.element = k;
        info.where = elements.at(k);
        info.hasMeasCount = !records.isEmpty();
        info.measCount = records.value(0).marker;
        info.hasMeasNum = records.size() > 1;
        info.measNum = records.value(1).marker;
        const QString path = dir.filePath(McaCsv::fileName(info));
        QString why;
        if (!McaCsv::write(path, r, info, &why)) {
            fail(why);
            return PeerExit::Files;
        }
        fetched.csvFiles << path;
        const QString unit = info.where.unitName.isEmpty()
                                 ? QStringLiteral("unit %1").arg(info.where.unit)
                                 : QStringLiteral("unit %1 (%2)").arg(info.where.unit).arg(info.where.unitName);
        note(QStringLiteral("element %1: %2 ch %3: counts %4, real %5 s, live %6 s, ICR %7 -> %8")
                 .arg(k).arg(unit).arg(r.channel).arg(r.sum()).arg(num(r.realTime), num(r.liveTime), num(r.icr), path));
        labels << QStringLiteral("e%1 %2 ch%3")
                      .arg(k)
                      .arg(info.where.unitName.isEmpty() ? QStringLiteral("u%1").arg(info.where.unit) : info.where.unitName)
                      .arg(r.channel);
    }
    if (records.size() > 1)
        note(QStringLiteral("measurement count %1, measurement number %2").arg(records.at(0).marker).arg(records.at(1).marker));
    else if (records.size() == 1)
        note(QStringLiteral("measurement count %1").arg(records.at(0).marker));
    return writePlot(records, labels, rois, dir);
}

int PeerSession::writePlot(const QList<PeerRecord> &records, const QStringList &labels,
                           const QList<QPair<int, int>> &rois, const QDir &dir)
{
    QList<HistogramPlot::Trace> traces;
    for (int k = 0; k < records.size(); ++k)
        traces << HistogramPlot::Trace{records.at(k).bins, labels.at(k), k};
    QList<HistogramPlot::Band> bands;
    for (int i = 0; i < rois.size(); ++i) {
        if (rois.indexOf(rois.at(i)) == i)
            bands << HistogramPlot::Band{rois.at(i).first, rois.at(i).second, -1};
    }
    const QString title = QStringLiteral("Marlo spectra: %1 element%2%3, %4 scale")
                              .arg(records.size())
                              .arg(records.size() == 1 ? QString() : QStringLiteral("s"))
                              .arg(records.size() > 1 ? QStringLiteral(", measurement %1").arg(records.at(1).marker) : QString())
                              .arg(opts.logScale ? QStringLiteral("log") : QStringLiteral("linear"));
    const QString png = dir.filePath(QStringLiteral("mcas.png"));
    QString why;
    if (!HistogramPlot::savePng(HistogramPlot::render(traces, bands, opts.logScale, title, opts.plotSize), png, &why)) {
        fail(why);
        return PeerExit::Files;
    }
    fetched.plotFile = png;
    note(QStringLiteral("plot -> %1").arg(png));
    return PeerExit::Ok;
}

int PeerSession::run(const QList<PeerStep> &steps)
{
    int rc = login();
    if (rc != PeerExit::Ok)
        return rc;
    if (opts.subscribe) {
        rc = request(QStringLiteral("System"), QStringLiteral("flgon %1").arg(opts.marlo), nullptr);
        if (rc != PeerExit::Ok) {
            node.disconnectFromBus(1000);
            return rc;
        }
    }

    int result = PeerExit::Ok;
    for (const PeerStep &s : steps) {
        rc = PeerExit::Ok;
        switch (s.kind) {
        case PeerStep::Request:
            if (s.to.isEmpty() && s.cmd == QLatin1String("GetMCAs") && !opts.mcaDir.isEmpty()) {
                if (s.request.trimmed() != QLatin1String("GetMCAs")) {
                    fail(QStringLiteral("\"GetMCAs\" takes no parameters here"));
                    rc = PeerExit::Usage;
                } else {
                    rc = fetchMcas();
                }
            } else {
                rc = request(s.to.isEmpty() ? opts.marlo : s.to, s.request, nullptr);
            }
            break;
        case PeerStep::Wait:
            rc = waitEvent(s);
            break;
        case PeerStep::WaitTimeout:
            waitTimeoutMs = s.ms;
            break;
        case PeerStep::Sleep:
            sleepFor(s.ms);
            break;
        case PeerStep::Nothing:
        case PeerStep::Invalid:
            break;
        }
        if (rc != PeerExit::Ok && result == PeerExit::Ok)
            result = rc;
        const bool goOn = opts.keepGoing && rc != PeerExit::Lost && rc != PeerExit::Usage;
        if (rc != PeerExit::Ok && !goOn)
            break;
    }
    printPending();
    link.close();
    node.disconnectFromBus(1000);
    return result;
}
