#pragma once

#include <QString>

// One STARS line as the peer reads it: "From>To word text". The word's first
// character tells the kind: "@" an answer, "_" an event, else a request.
// Node addresses keep their channel ("Marlo.dsp1"); `fromName` and `toName`
// are the parts before the first ".".
struct StarsLine
{
    enum Kind { Ask, Answer, Event };

    bool ok = false;
    QString from;
    QString to;
    QString fromName;
    QString toName;
    QString cmd;        // the word without its "@" or "_"
    QString text;       // what follows the word and one blank ("" when nothing)
    Kind kind = Ask;

    static StarsLine parse(const QString &line);

    // An answer text that reports a failure: it begins with "Er:" or holds
    // " Er:" after a value ("0 Er: data transfer").
    static bool isErrorText(const QString &text);
};
