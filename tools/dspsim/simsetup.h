#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What marlo-sim serves, from its command line and from Marlo
// configuration files: the units and the common options.
class SimSetup
{
public:
    struct Unit {
        bool hv = false;         // HV unit, else DSP unit
        QString name;
        QString address;         // a loopback IPv4 address
        bool bMode = false;      // DSP: 32768-byte histogram stream
    };

    QList<Unit> units;
    int udpPort = 4660;
    int tcpPort = 24;
    double rate = -1.0;          // < 0: the simulator's default
    double deadFraction = -1.0;  // < 0: the simulator's default
    int answerDelayUs = 0;       // every answer this late
    double streamMbps = 0.0;     // > 0: histogram streams paced at this rate
    bool deterministic = false;
    bool stamp = false;          // self-checking histograms (HistogramStamp)
    bool logRequests = false;
    bool help = false;
    bool version = false;
    QString error;               // set when parsing failed

    // Parses the arguments (the program name first). Options:
    //   --config FILE, --dsp NAME ADDR [b], --hv NAME ADDR, --udp-port N,
    //   --tcp-port N, --rate R, --dead-fraction F, --answer-delay-us N,
    //   --stream-mbps M, --deterministic, --stamp, --log-requests, --help,
    //   --version
    bool parseArgs(const QStringList &args);

    // Adds the units of a Marlo configuration file: one DSP unit per VEXDA
    // line (identifier, address, four use flags, "B"/"b" for the long
    // histogram stream), the HV unit of the VEXHV line.
    bool readConfig(const QString &fileName);

    static QString usage();

private:
    // One option at args[i]; moves i past the arguments it takes.
    bool parseOption(const QStringList &args, int &i);
    // The value of an option that takes a number.
    bool setValue(const QString &opt, const QString &text);
    bool addUnit(const Unit &u, const QString &where);
    bool fail(const QString &text);
};
