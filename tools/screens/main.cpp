// marlo-shots: saves pictures of Marlo's main window, its DSP setting window
// and its Spectra window, built in-process against simulated units (ShotRig):
//
//   marlo-shots [--ja] [--out DIR]
//
// writes DIR/main-en.png, DIR/settings-en.png and DIR/mcawindow-en.png (with
// --ja: the Japanese interface, main-ja.png, settings-ja.png, mcawindow-ja.png). Runs offscreen unless
// QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include <cstdio>

#include "body.h"
#include "dspsettingctrl.h"
#include "mcawindow.h"
#include "shotrig.h"
#include "startup.h"

namespace {

bool save(QWidget *w, const QString &path)
{
    const QPixmap p = w->grab();
    if (p.isNull() || !p.save(path, "PNG")) {
        std::fprintf(stderr, "marlo-shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), p.width(), p.height());
    return true;
}

// The main window, the setting window and the Spectra window, each at the
// size it opens with, to OUT/NAME-LANG.png.
bool saveWindows(Body *body, const QString &out, const QString &lang)
{
    body->resize(defaultWindowSize(*body));
    body->show();
    QTest::qWait(300);
    if (!save(body, QDir(out).filePath(QStringLiteral("main-%1.png").arg(lang))))
        return false;

    DspSettingCtrl *settings = body->settingsEditor();
    settings->readOut();
    settings->show();
    QTest::qWait(300);
    if (!save(settings, QDir(out).filePath(QStringLiteral("settings-%1.png").arg(lang))))
        return false;
    settings->hide();

    // The Spectra window, opened from its button after the measurement.
    auto *spectraButton = body->findChild<QPushButton *>(QStringLiteral("ShowSpectra"));
    if (!spectraButton) {
        std::fprintf(stderr, "marlo-shots: no Spectra button\n");
        return false;
    }
    spectraButton->click();
    McaWindow *spectra = body->spectraWindow();
    spectra->resize(QSize(1100, 760));
    spectra->show();
    QTest::qWait(300);
    if (!save(spectra, QDir(out).filePath(QStringLiteral("mcawindow-%1.png").arg(lang))))
        return false;
    spectra->hide();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    bool ja = false;
    QString out = QStringLiteral("docs/screenshots");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--ja")) {
            ja = true;
        } else if (args.at(i) == QLatin1String("--out") && i + 1 < args.size()) {
            out = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: marlo-shots [--ja] [--out DIR]\n");
            return 2;
        }
    }
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "marlo-shots: cannot make %s\n", qPrintable(out));
        return 1;
    }
    out = QDir(out).absolutePath();   // the rig changes the working folder

    QTranslator translator;
    if (ja) {
        if (!loadCatalogue(translator)) {
            std::fprintf(stderr, "marlo-shots: the Japanese catalogue did not load\n");
            return 1;
        }
        app.installTranslator(&translator);
    }
    const QString lang = ja ? QStringLiteral("ja") : QStringLiteral("en");

    ShotRig rig;
    if (!rig.start() || !rig.exercise()) {
        std::fprintf(stderr, "marlo-shots: %s\n", qPrintable(rig.error()));
        return 1;
    }
    return saveWindows(rig.body(), out, lang) ? 0 : 1;
}

