// One channel of a data set: its header and its histogram bins.
#pragma once

#include <QtGlobal>

// One channel of a data set: a single block of a 48-byte header followed by
// the bins, in host byte order, as the data link ships it.
//   0 int64 channel | 4 int32 link field (overlaps) | 8 uint64 measuring flag
//   16 int64 bins | 24 double real time | 32 double live time | 40 double ICR
//   48 uint32 bins...
class MCAData
{
public:
    explicit MCAData(qint64 length);
    ~MCAData();
    MCAData(const MCAData &) = delete;
    MCAData &operator=(const MCAData &) = delete;

    static constexpr int headerBytes = 48;

    qint64 length;        // bins
    qint64 totalBytes;    // headerBytes + 4 * length
    char *buf;            // the block, zero-filled at creation
    quint32 *data;        // buf + headerBytes
    qint32 *linkField;    // buf + 4

    void setCh(qint64 ch);
    void setInMeas(bool f);
    void setLen(qint64 len);
    void setRealTimeSec(double t);
    void setLiveTimeSec(double t);
    void setIcr(double icr);

    qint64 ch() const;
    quint64 inMeas() const;
    qint64 len() const;
    double realTimeSec() const;
    double liveTimeSec() const;
    double icr() const;
};
