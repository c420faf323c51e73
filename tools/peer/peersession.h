#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "datalinkreader.h"
#include "elementlayout.h"
#include "peeroptions.h"
#include "peerrecord.h"
#include "peerstep.h"
#include "starsline.h"
#include "starsnode.h"

class QDir;

// One run of marlo-peer: logs in, subscribes to Marlo's events, carries out
// the steps and prints every line sent and received with a time stamp.
//
// Printed lines: "hh:mm:ss.zzz >> line" (sent), "<< line" (answer),
// "** line" (event), "<- line" (anything else received), "-- text" (notes of
// the peer: log-in, data link, files) on `out`; failures "hh:mm:ss.zzz !!
// text" on `err`. Waits run the event loop of the calling thread.
class PeerSession
{
public:
    using Sink = std::function<void(const QString &)>;

    struct Fetched {
        QList<PeerRecord> records;
        QList<ElementInfo> elements;
        QStringList csvFiles;
        QString plotFile;
        int nacks = 0;
    };

    PeerSession(const PeerOptions &options, Sink out, Sink err);

    // The steps of the options (requests, then the script's lines, then a
    // "GetMCAs" when --get-mcas is given and no step asks for it); false with
    // `error` set when the script cannot be read or parsed.
    static bool stepsOf(const PeerOptions &options, QList<PeerStep> &steps, QString *error);

    // Logs in, runs the steps, logs out; the exit code (PeerExit).
    int run(const QList<PeerStep> &steps);

    // The spectra of the last successful fetch.
    const Fetched &lastFetch() const { return fetched; }

    // The CSV files (one per record) and the picture "mcas.png" in the
    // options' folder, as after a fetch; the exit code (PeerExit).
    int writeFiles(const QList<PeerRecord> &records, const QList<ElementInfo> &elements,
                   const QList<QPair<int, int>> &rois);

private:
    int login();
    int request(const QString &to, const QString &text, QString *answer);
    int waitEvent(const PeerStep &step);
    void sleepFor(int ms);
    // "GetMCAs": connects the data link, learns the elements, reads and
    // checks the transfer, answers "Ack" and writes the files.
    int fetchMcas();
    int connectDataLink();
    // The expected elements and their count (-1: unknown), and the ROIs to draw.
    int learnElements(QList<ElementInfo> &expected, int &count, QList<QPair<int, int>> &rois);
    int receiveTransfer(int count, const QList<ElementInfo> &expected, QList<PeerRecord> &records,
                        QList<ElementInfo> &elements);
    int writePlot(const QList<PeerRecord> &records, const QStringList &labels, const QList<QPair<int, int>> &rois,
                  const QDir &dir);

    // The next received line, printed and queued when it is an event;
    // nothing on time-out or when the link is gone.
    std::optional<StarsLine> nextLine(int timeoutMs);
    void printPending();
    void note(const QString &text);
    void fail(const QString &text);
    void print(const QString &tag, const QString &text);

    PeerOptions opts;
    Sink out;
    Sink err;
    StarsNode node;
    DataLinkReader link;
    QList<StarsLine> events;      // received since the previous wait
    int waitTimeoutMs;
    Fetched fetched;
};
