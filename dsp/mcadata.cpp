// Reads the header fields and bins of one channel's data block.
#include "mcadata.h"

#include <cstring>

namespace {

template <typename T>
void put(char *buf, int offset, T v)
{
    std::memcpy(buf + offset, &v, sizeof v);
}

template <typename T>
T get(const char *buf, int offset)
{
    T v;
    std::memcpy(&v, buf + offset, sizeof v);
    return v;
}

} // namespace

MCAData::MCAData(qint64 length)
    : length(length < 0 ? 0 : length)
    , totalBytes(headerBytes + 4 * this->length)
    , buf(new char[size_t(totalBytes)]())
    , data(reinterpret_cast<quint32 *>(buf + headerBytes))
    , linkField(reinterpret_cast<qint32 *>(buf + 4))
{
}

MCAData::~MCAData()
{
    delete[] buf;
}

void MCAData::setCh(qint64 ch) { put<qint64>(buf, 0, ch); }
void MCAData::setInMeas(bool f) { put<quint64>(buf, 8, f ? 1 : 0); }
void MCAData::setLen(qint64 len) { put<qint64>(buf, 16, len); }
void MCAData::setRealTimeSec(double t) { put<double>(buf, 24, t); }
void MCAData::setLiveTimeSec(double t) { put<double>(buf, 32, t); }
void MCAData::setIcr(double icr) { put<double>(buf, 40, icr); }

qint64 MCAData::ch() const { return get<qint64>(buf, 0); }
quint64 MCAData::inMeas() const { return get<quint64>(buf, 8); }
qint64 MCAData::len() const { return get<qint64>(buf, 16); }
double MCAData::realTimeSec() const { return get<double>(buf, 24); }
double MCAData::liveTimeSec() const { return get<double>(buf, 32); }
double MCAData::icr() const { return get<double>(buf, 40); }
