#pragma once

#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

// The command line of marlo-peer.
struct PeerOptions
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 6057;
    QString name = QStringLiteral("Ravel");
    QString keyFile;                 // empty: "<name>.key"
    QString marlo = QStringLiteral("Marlo");
    QString scriptFile;              // "-": standard input
    QStringList requests;            // the positional arguments, one step each
    int timeoutMs = 10000;           // answers, log-in, data-link gaps
    int waitTimeoutMs = 60000;       // "wait" steps
    bool subscribe = true;
    bool keepGoing = false;
    QString mcaDir;                  // --get-mcas
    QString configFile;              // Marlo's configuration: the element list
    bool logScale = false;
    QList<QPair<int, int>> rois;     // ROI bands drawn in the plot
    bool roisFromMarlo = false;      // --roi marlo: ask "GetROIs"
    int bins = 0;                    // expected bins per record; 0: any
    int retries = 2;                 // "NAck"s sent for malformed transfers
    QSize plotSize = QSize(1200, 700);
    bool help = false;
    bool version = false;
    QString error;                   // why parse() failed

    QString effectiveKeyFile() const { return keyFile.isEmpty() ? name + QStringLiteral(".key") : keyFile; }

    // Parses the arguments (program name first); false with `error` set.
    bool parse(const QStringList &args);

    static QString usage();

private:
    // The node names, the values of --roi and of --plot-size; false with
    // `error` set.
    bool checkNames();
    bool readRois(const QStringList &values);
    bool readPlotSize(const QString &value);
};
