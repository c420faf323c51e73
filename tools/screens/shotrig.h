#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "starsnode.h"

class Body;
class CfgFile;
class SimHost;
class StarsBusRunner;

// Marlo as the operator sees it, for pictures: a STARS bus, two simulated
// DSP units (one in "B" mode) and the HV unit, all on loopback in this
// process, Marlo's main window built from a configuration, and a peer that
// runs a short measurement and switches the HV on so that the window shows
// a working state.
class ShotRig
{
public:
    ShotRig();
    ~ShotRig();

    // Builds everything; false with error() set when a part failed.
    bool start();
    // Runs the measurement and the HV round.
    bool exercise();
    Body *body() const { return bodyPtr.get(); }
    QString error() const { return err; }

private:
    // Marlo itself, on the bus and the units that start() set up.
    bool startMarlo();
    QString ask(const QString &request);

    QTemporaryDir dir;
    std::unique_ptr<StarsBusRunner> bus;
    std::unique_ptr<SimHost> sims;
    std::unique_ptr<CfgFile> cfg;
    std::unique_ptr<Body> bodyPtr;
    StarsNode peer;
    QString err;
};
