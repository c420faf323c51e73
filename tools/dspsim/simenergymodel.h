#pragma once

#include <QVector>
#include <QtGlobal>

#include <random>
#include <vector>

// The energy spectrum a simulated channel records: a few Gaussian peaks on
// a falling background, slightly shifted from channel to channel. It is held
// as the cumulative distribution over the bins.
//
// Deterministic filling: event k of a channel's stream lands in the bin
// whose share of the cumulative distribution holds the bit-reversed k (a
// van der Corput sequence, evenly spread over [0, 1)). Every event keeps
// its bin, so a histogram only grows and depends only on the number of
// events, not on how the events were added up. Events are counted in
// aligned blocks of 2^m, whose points are evenly spaced, so adding n
// events costs O(bins * log n).
class SimEnergyModel
{
public:
    explicit SimEnergyModel(int channel = 0, int bins = 4096);

    int bins() const { return cdf.size() - 1; }
    int channel() const { return ch; }

    // Counts that events from..to-1 of the deterministic stream add to `bin`.
    quint64 deterministicCount(int bin, quint64 from, quint64 to) const;

    // Adds events from..to-1 of the deterministic stream to `h` (saturating).
    void addDeterministic(QVector<quint32> &h, quint64 from, quint64 to) const;

    // Adds `n` randomly drawn events to `h` (saturating).
    void addRandom(QVector<quint32> &h, quint64 n, std::mt19937_64 &rng) const;

    // The histogram of the first n events of the deterministic stream.
    QVector<quint32> deterministic(quint64 n) const;

private:
    using Fixed = unsigned __int128;

    // Adds the events of the aligned block [start, start + 2^m) to `h`.
    void addBlock(QVector<quint32> &h, quint64 start, int m) const;

    int ch;
    QVector<double> cdf;         // bins + 1 entries, cdf[0] = 0, cdf[bins] = 1
    std::vector<Fixed> edges;    // cdf scaled to [0, 2^64], the bins' lower edges and the end
};
