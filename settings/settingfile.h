// The setting file: one register value per line.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include "dspdata.h"

// The setting file ("*.stg"): one record per line,
// "DSP<n> [Ch<c> ]<description, 30 wide> : <hdr> <addr> <value>".
// The writer and the lenient reader; no widgets, no logging.
class SettingFile
{
public:
    // One line of the file, ending in "\n".
    static QString formatLine(const DspData &d);

    // Reads one line. Returns false for a line that holds no record (blank,
    // or a comment whose first non-blank character is "#"); otherwise fills
    // `out` and returns true. Never rejects a line for its content: missing
    // or malformed fields read as 0 (the channel as -1).
    static bool parseLine(const QString &line, DspData &out);

    // The lenient hexadecimal reader: every character adds one digit, its
    // value for 0-9, a-f, A-F and 0 for anything else; 32 bits wide.
    static quint32 readHex(const QString &text);

    // The description of the register at `addr` (for ch 0 to 3, the address
    // minus the channel offset), padded to 30; 30 blanks when none matches or
    // the channel is outside 0 to 3.
    static QString nameOf(quint32 addr, int ch);

    // Writes every record, one line each, in text mode. The file is
    // replaced only once everything was written (a failed write leaves what
    // was there). With `keepAs`, an existing file is first copied there; if
    // that fails, nothing is replaced. `error` tells what failed. writeFile
    // is the same without keeping, true when written.
    enum Result { Written, OpenFailed, WriteFailed, KeepFailed };
    static Result save(const QString &fname, const QList<DspData> &config, QString *error = nullptr,
                       const QString &keepAs = QString());
    static bool writeFile(const QString &fname, const QList<DspData> &config);

    // Whether the file holds a value of every register it names: it can be
    // read, has records, and none of them is a register left unread (address
    // 0, as written for a unit that did not answer).
    static bool holdsEveryUnit(const QString &fname);

    // Appends the records of the file to `config`. False (list untouched)
    // when the file cannot be opened.
    static bool readFile(const QString &fname, QList<DspData> &config);
};
