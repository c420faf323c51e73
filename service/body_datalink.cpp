// Body: status and configuration by register name, the histogram as text,
// the HV commands and event, the data link and the spectrum transfer.
//
// Not built yet: every request here answers "Er: Not implemented" (one
// answer per request, as for every handler), and the data-link slots do
// nothing. The data-link step fills them in, together with setUpDataLink()
// and the data-link part of ~Body() (body.cpp).

#include "body.h"

namespace {
const QString notImplemented = QStringLiteral("Er: Not implemented");
}

void Body::askStatus(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askSetConfig(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askGetHistgram(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askGetDataLinkCh(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askGetMCAs(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askHvStart(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askHvStop(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askHvStat(AMsg msg) { stars->sendAns(msg, notImplemented); }
void Body::askHvVol(AMsg msg) { stars->sendAns(msg, notImplemented); }

void Body::newHvStat(HvStat::SweepStat) {}

void Body::askNewDataLink() {}
void Body::dataLinkDisconnected() {}
void Body::readyReadFromDataLink() {}
void Body::dataTransWaitTimeout() {}
void Body::discardDLinBody() {}
void Body::discardDLinVexDA() {}
void Body::DDLDelayTimeout() {}
