// Fuzzes the STARS receive path without a socket or the client window: the
// bytes are cut into lines by the line splitter, each line is parsed into an
// AMsg and its command looked up in the command table, as the dispatcher does.
//
// Checked: the splitter keeps its limits; the parsed fields agree with the
// line; the command number is a table id exactly when the command is in the
// table, and names the entry that has that command.

#include <cstdlib>

#include "amsg.h"
#include "fuzzsupport.h"
#include "linesplitter.h"
#include "starscmdtable.h"

namespace {

StarsCmdTable table;

void checkParsed(const AMsg &m)
{
    FUZZ_CHECK(!m.line.contains(QLatin1Char('\n')) && !m.line.contains(QLatin1Char('\r')));
    if (!m.ok) {
        FUZZ_CHECK(m.kind == AMsg::NotParsed);
        return;
    }
    FUZZ_CHECK(m.head == m.from + QLatin1Char('>') + m.to);
    FUZZ_CHECK(m.fromFull == m.from || m.fromCh.isEmpty());
    FUZZ_CHECK(m.toFull == m.to || m.toCh.isEmpty());
    FUZZ_CHECK(!m.fromName.contains(QLatin1Char('.')));
    FUZZ_CHECK(!m.toName.contains(QLatin1Char('.')));
    FUZZ_CHECK(m.param0 == (m.params.isEmpty() ? QString() : m.params.first()));
    FUZZ_CHECK(m.kind != AMsg::NotParsed);
    // Only the last parameter may be empty (from trailing whitespace).
    for (qsizetype i = 0; i + 1 < m.params.size(); ++i)
        FUZZ_CHECK(!m.params.at(i).isEmpty() || m.line.contains(QLatin1Char('"')));
}

void checkLookup(const QString &name)
{
    const int id = table.cmdIdOf(name);
    if (id == AMsg::unknownCmdId) {
        FUZZ_CHECK(table.cmdHelpOf(name).isEmpty());
        return;
    }
    bool found = false;
    for (const StarsCmd &c : table.entries()) {
        if (c.name == name) {
            FUZZ_CHECK(c.id == id && c.help == table.cmdHelpOf(name));
            found = true;
            break;
        }
    }
    FUZZ_CHECK(found);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    table.fillStandard();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int chunk = 1 + in.byte();
    const qsizetype limit = 16 + qsizetype(in.byte()) * 4;
    in.byte(); // once the busy flag; skipped so that the seed corpus keeps its layout
    LineSplitter splitter(limit);

    while (!in.empty()) {
        splitter.append(in.take(size_t(chunk)));
        FUZZ_CHECK(splitter.partialSize() <= limit + chunk);
        while (splitter.hasLine()) {
            const QByteArray raw = splitter.takeLine();
            FUZZ_CHECK(raw.endsWith('\n'));
            FUZZ_CHECK(raw.size() - 1 <= limit);

            AMsg msg;
            msg.parse(QString::fromUtf8(raw));
            checkParsed(msg);
            checkLookup(msg.cmd);
            // "Help" looks its first parameter up as a command name.
            if (msg.ok && !msg.params.isEmpty())
                checkLookup(msg.param0);
        }
    }
    splitter.takeDropped();
    return 0;
}
