// Fuzzes the STARS receive path without a socket: the bytes are cut into
// lines by the line splitter, each line goes to Stars::handleMsg (parse,
// command lookup, the "Hello"/"Help"/"IsBusy" answers and the signals).
//
// Checked: every parsed message leads to exactly one answer or signal, an
// unparsed one to none; an answer is addressed back to the sender; the parsed
// fields agree with the line.

#include <QApplication>

#include <cstdlib>

#include "amsg.h"
#include "fuzzsupport.h"
#include "linesplitter.h"
#include "stars.h"

namespace {

Stars *stars = nullptr;
int answers = 0;
int signalsOut = 0;
QString lastAnswer;

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    fuzzQuiet();
    static int argc = 1;
    static char name[] = "fuzz_stars";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    stars = new Stars;
    // Gone before the leak check at exit.
    std::atexit([] {
        delete stars;
        delete app;
    });
    stars->setNodeName(QStringLiteral("Marlo"));
    QObject::connect(stars, &Stars::sendingAnsToStars, [](const QString &a) {
        ++answers;
        lastAnswer = a;
    });
    QObject::connect(stars, &Stars::anyAsk, [](const AMsg &) { ++signalsOut; });
    QObject::connect(stars, &Stars::anyEvent, [](const AMsg &) { ++signalsOut; });
    QObject::connect(stars, &Stars::anyAns, [](const AMsg &) { ++signalsOut; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int chunk = 1 + in.byte();
    const qsizetype limit = 16 + qsizetype(in.byte()) * 4;
    stars->setBusy(in.byte() & 1);
    LineSplitter splitter(limit);

    while (!in.empty()) {
        splitter.append(in.take(size_t(chunk)));
        FUZZ_CHECK(splitter.partialSize() <= limit + chunk);
        while (splitter.hasLine()) {
            const QByteArray raw = splitter.takeLine();
            FUZZ_CHECK(raw.endsWith('\n'));
            FUZZ_CHECK(raw.size() - 1 <= limit);
            const QString line = QString::fromUtf8(raw);

            AMsg ref;
            ref.parse(line);
            checkParsed(ref);

            answers = signalsOut = 0;
            stars->handleMsg(line);
            FUZZ_CHECK(answers + signalsOut == (ref.ok ? 1 : 0));
            if (answers) {
                const int id = stars->cmdIdOf(ref.cmd);
                FUZZ_CHECK(id >= 0 && id <= 2);
                // Not connected: the answer comes back as "Stars is not ready (...)".
                const QString sent = QStringLiteral("Stars is not ready (%1>%2 @%3 ")
                                         .arg(ref.toFull, ref.from, ref.cmd);
                FUZZ_CHECK(lastAnswer.startsWith(sent));
                if (id == 1 && !ref.params.isEmpty() && stars->cmdIdOf(ref.param0) == AMsg::unknownCmdId)
                    FUZZ_CHECK(lastAnswer.contains(QStringLiteral("Er: Command [%1] not found.").arg(ref.param0)));
            }
        }
    }
    splitter.takeDropped();
    return 0;
}
