// The journal of STARS host and port values typed into the panel.
#pragma once

#include <QString>

// The journal of STARS host and port values typed into the panel: lines
// "A: host" and "P: port" appended to a text file.
class StarsHistory
{
public:
    static constexpr const char *defaultFileName = "SSVHistory.dat";

    explicit StarsHistory(const QString &fileName = QString::fromLatin1(defaultFileName));

    // The last host and port recorded; both empty when the file cannot be
    // read. Lines with fewer than two parts are skipped; the first part is
    // compared upper-cased.
    void read(QString &host, QString &port) const;

    // Appends one line (the text must end with its LF); does nothing when the
    // file cannot be opened.
    void append(const QString &text) const;

    // Appends "A: host" unless host equals the last host recorded.
    void recordHost(const QString &host) const;
    // Appends "P: port" unless port equals the last port recorded.
    void recordPort(const QString &port) const;

    QString fileName() const { return file; }

private:
    QString file;
};
