// Fuzzes the configuration reader. The input is cut at its first NUL byte
// into two files, a.cfg and b.cfg, in a scratch directory that is the working
// directory; a.cfg is read, so "INCLUDE b.cfg", "INCLUDE a.cfg" (itself) and
// chains of includes all come up. Afterwards every key found is looked up.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "cfgfile.h"
#include "fuzzsupport.h"

namespace {

QTemporaryDir *scratch = nullptr;

void writeFile(const char *name, const QByteArray &bytes)
{
    QFile f(QString::fromLatin1(name));
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    scratch = new QTemporaryDir;
    FUZZ_CHECK(scratch->isValid());
    FUZZ_CHECK(QDir::setCurrent(scratch->path()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cut = all.indexOf('\0');
    writeFile("a.cfg", cut < 0 ? all : all.left(cut));
    writeFile("b.cfg", cut < 0 ? QByteArray() : all.mid(cut + 1));

    CfgFile cfg(QStringList{QStringLiteral("marlo"), QStringLiteral("-c"), QStringLiteral("a.cfg")});
    FUZZ_CHECK(cfg.readFile(QStringLiteral("a.cfg")));

    // INCLUDE lines are followed, never stored.
    FUZZ_CHECK(!cfg.hasKey(QStringLiteral("INCLUDE")));
    FUZZ_CHECK(cfg.restsOf(QStringLiteral("include")).isEmpty());
    for (const char *key : {"STARS_IP", "VEXDA", "HV", "WATCH_INTERVAL_MS", "-c"}) {
        const QString k = QString::fromLatin1(key);
        const QStringList rests = cfg.restsOf(k);
        // The last line of a key wins (keys compare case-blind here).
        if (!rests.isEmpty())
            FUZZ_CHECK(cfg.restOf(k) == rests.last());
        cfg.value(k);
        cfg.flag(k, QStringLiteral("0"));
        // What the program does with the rest of these lines: item by item.
        for (const QString &rest : rests) {
            QString r = rest;
            int guard = 0;
            while (!r.isEmpty()) {
                QString item;
                const QString next = splitFirstItem(r, item);
                FUZZ_CHECK(next.size() < r.size());
                r = next;
                FUZZ_CHECK(++guard <= rest.size() + 1);
            }
        }
    }
    return 0;
}
