#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One step of a peer run, from a command-line argument or a script line:
//
//   # text                  a comment (also blank lines): nothing
//   wait EVENT [ARGS...]    wait for the event EVENT from Marlo, with these
//                           parameters when given ("wait ChangedIsBusy 0")
//   wait-timeout MS         time-out of the following waits
//   sleep MS                pause
//   >NODE[.CH] REQUEST      a request to another node or a unit channel
//                           (">Marlo.dsp1 Status SFilterPeakingT 1")
//   REQUEST                 a request to Marlo ("SetPresetValue 2")
//
// A request "GetMCAs" fetches the spectra when an output folder is given.
struct PeerStep
{
    enum Kind { Nothing, Request, Wait, WaitTimeout, Sleep, Invalid };

    Kind kind = Nothing;
    QString to;           // Request: the receiver; empty for Marlo
    QString request;      // Request: command and parameters as written
    QString cmd;          // Request: the command word
    QString event;        // Wait: the event name
    QStringList args;     // Wait: the expected parameters (none: any)
    int ms = 0;           // WaitTimeout, Sleep
    QString error;        // Invalid: why

    static PeerStep parse(const QString &line);
    // The steps of a script, one per line; `error` names the first bad line.
    static QList<PeerStep> parseScript(const QString &text, QString *error);
};
