#include "simenergymodel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Peak {
    double bin;
    double sigma;
    double weight;
};

// Peak positions for channel 0 in bins; other channels shift them a little.
constexpr Peak peaks[] = {
    {410.0, 9.0, 0.10},
    {1180.0, 14.0, 0.22},
    {1650.0, 17.0, 0.12},
    {2460.0, 22.0, 0.08},
    {3300.0, 26.0, 0.05},
    {5200.0, 34.0, 0.03},
};
constexpr double backgroundShare = 0.40;

void addSaturating(quint32 &bin, quint64 n)
{
    const quint64 sum = quint64(bin) + n;
    bin = sum > std::numeric_limits<quint32>::max() ? std::numeric_limits<quint32>::max() : quint32(sum);
}

} // namespace

SimEnergyModel::SimEnergyModel(int channel, int nbins)
    : ch(channel)
{
    nbins = qMax(1, nbins);
    const double shift = 1.0 + 0.04 * channel;

    QVector<double> bg(nbins), pk(nbins, 0.0);
    double bgSum = 0.0;
    for (int i = 0; i < nbins; ++i) {
        // The energy threshold cuts the lowest bins; above it the background falls.
        const double edge = 1.0 / (1.0 + std::exp(-(i - 24.0) / 4.0));
        bg[i] = edge * (std::exp(-i / 700.0) + 0.05 * std::exp(-i / 4000.0));
        bgSum += bg[i];
    }
    double pkSum = 0.0;
    for (const Peak &p : peaks) {
        const double mu = p.bin * shift;
        const double sigma = p.sigma * std::sqrt(shift);
        if (mu - 6 * sigma >= nbins)
            continue;
        const int lo = qMax(0, int(mu - 6 * sigma));
        const int hi = qMin(nbins - 1, int(mu + 6 * sigma) + 1);
        for (int i = lo; i <= hi; ++i) {
            const double z = (i - mu) / sigma;
            const double v = p.weight * std::exp(-0.5 * z * z) / sigma;
            pk[i] += v;
            pkSum += v;
        }
    }

    cdf.resize(nbins + 1);
    cdf[0] = 0.0;
    double acc = 0.0;
    const double bgScale = pkSum > 0 ? backgroundShare / bgSum : 1.0 / bgSum;
    const double pkScale = pkSum > 0 ? (1.0 - backgroundShare) / pkSum : 0.0;
    for (int i = 0; i < nbins; ++i) {
        acc += bg[i] * bgScale + pk[i] * pkScale;
        cdf[i + 1] = acc;
    }
    for (int i = 1; i <= nbins; ++i)   // exact end point, monotonic
        cdf[i] = qMin(1.0, cdf[i] / acc);
    cdf[nbins] = 1.0;

    edges.resize(size_t(nbins) + 1);
    const long double scale = 18446744073709551616.0L;   // 2^64
    for (int i = 0; i < nbins; ++i)
        edges[size_t(i)] = Fixed(static_cast<long double>(cdf[i]) * scale);
    edges[size_t(nbins)] = Fixed(1) << 64;
}

namespace {

quint64 reverseBits(quint64 v)
{
    quint64 r = 0;
    for (int i = 0; i < 64; ++i, v >>= 1)
        r = (r << 1) | (v & 1);
    return r;
}

} // namespace

void SimEnergyModel::addBlock(QVector<quint32> &h, quint64 start, int m) const
{
    // The block's points (bit-reversed indices) are off + i * step for i < 2^m.
    const Fixed count = Fixed(1) << m;
    const Fixed step = Fixed(1) << (64 - m);
    const Fixed off = Fixed(m < 64 ? reverseBits(start >> m) >> m : 0);
    auto below = [&](Fixed q) -> Fixed {
        if (q <= off)
            return 0;
        const Fixed c = (q - off + step - 1) / step;
        return c < count ? c : count;
    };
    const int n = qMin(int(h.size()), bins());
    Fixed prev = 0;
    for (int i = 0; i < n; ++i) {
        const Fixed next = below(edges[size_t(i) + 1]);
        if (next > prev)
            addSaturating(h[i], quint64(next - prev));
        prev = next;
    }
}

quint64 SimEnergyModel::deterministicCount(int bin, quint64 from, quint64 to) const
{
    if (bin < 0 || bin >= bins() || to <= from)
        return 0;
    QVector<quint32> h(bins(), 0);
    addDeterministic(h, from, to);
    return h[bin];
}

void SimEnergyModel::addDeterministic(QVector<quint32> &h, quint64 from, quint64 to) const
{
    quint64 k = from;
    while (k < to) {
        int m = 0;
        while (m < 63 && (k & ((quint64(1) << (m + 1)) - 1)) == 0 && to - k >= (quint64(1) << (m + 1)))
            ++m;
        addBlock(h, k, m);
        k += quint64(1) << m;
    }
}

void SimEnergyModel::addRandom(QVector<quint32> &h, quint64 n, std::mt19937_64 &rng) const
{
    const int nb = qMin(int(h.size()), bins());
    if (n == 0 || nb == 0)
        return;
    if (n <= 50000) {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (quint64 k = 0; k < n; ++k) {
            const double x = u(rng);
            const auto it = std::upper_bound(cdf.cbegin() + 1, cdf.cend(), x);
            const int bin = int(it - cdf.cbegin()) - 1;
            if (bin >= 0 && bin < nb)
                addSaturating(h[bin], 1);
        }
        return;
    }
    // Many events: each bin gets its expected share with Gaussian noise.
    std::normal_distribution<double> g(0.0, 1.0);
    for (int i = 0; i < nb; ++i) {
        const double e = double(n) * (cdf[i + 1] - cdf[i]);
        if (e <= 0.0)
            continue;
        const double v = std::floor(e + std::sqrt(e) * g(rng) + 0.5);
        if (v > 0.0)
            addSaturating(h[i], quint64(v));
    }
}

QVector<quint32> SimEnergyModel::deterministic(quint64 n) const
{
    QVector<quint32> h(bins(), 0);
    addDeterministic(h, 0, n);
    return h;
}
