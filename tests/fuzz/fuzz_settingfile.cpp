// Fuzzes the setting-file reader: the whole file (through readFile, from a
// scratch file) and each line by itself must agree; a record written by the
// line writer must read back as it was.

#include <QFile>
#include <QTemporaryDir>

#include "fuzzsupport.h"
#include "settingfile.h"

namespace {
QString path;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    path = dir.filePath(QStringLiteral("fuzz.stg"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);

    // A record from the first bytes: formatted and read back.
    DspData d;
    d.dspNo = in.byte();
    d.ch = int(in.byte() % 6) - 1;   // -1 to 4
    d.hdr = quint32(in.word()) << 16 | in.word();
    d.addr = quint32(in.word()) << 16 | in.word();
    d.value = quint32(in.word()) << 16 | in.word();
    d.name = SettingFile::nameOf(d.addr, d.ch);
    DspData back;
    FUZZ_CHECK(SettingFile::parseLine(SettingFile::formatLine(d), back));
    FUZZ_CHECK(back == d);

    // The rest as a file.
    const QByteArray text = in.rest();
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(text) == text.size());
    }
    QList<DspData> records;
    FUZZ_CHECK(SettingFile::readFile(path, records));
    for (const DspData &r : records)
        FUZZ_CHECK(r.name.size() >= DspData::nameWidth);
    return 0;
}
