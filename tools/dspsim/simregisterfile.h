#pragma once

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

// A unit's 16-bit register file, addressed by byte: the register of an
// address is the word at the even address below it, its high byte at the
// even address. Registers never written read 0. Multi-word values are
// consecutive words, most significant word at the lowest address.
class SimRegisterFile
{
public:
    quint16 word(quint32 addr) const;
    void setWord(quint32 addr, quint16 value);

    quint8 byte(quint32 addr) const;
    void setByte(quint32 addr, quint8 value);

    // `n` consecutive bytes from `addr`, big-endian words (addresses wrap at 2^32).
    QByteArray read(quint32 addr, int n) const;

    // A big-endian number of 1 to 8 bytes from `addr` (2, 4, 6 for one to three words).
    quint64 value(quint32 addr, int bytes) const;
    void setValue(quint32 addr, int bytes, quint64 value);

    void clear();

private:
    QHash<quint32, quint16> words;
};
