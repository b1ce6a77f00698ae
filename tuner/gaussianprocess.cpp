#include "tuner/gaussianprocess.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <span>

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double NormalPdf(double x) {
    return std::exp(-0.5 * x * x) / std::sqrt(2 * std::numbers::pi);
}

TGaussianProcess::TGaussianProcess(std::vector<TGpPoint> x, std::vector<double> y, const TGpHyper& hyper)
    : FX(std::move(x)), FHyper(hyper) {
    const auto n = Eigen::Index(FX.size());
    Eigen::MatrixXd k(n, n);
    for (Eigen::Index i = 0; i < n; ++i)
        for (Eigen::Index j = 0; j <= i; ++j)
            k(i, j) = k(j, i) = Kernel(FX[std::size_t(i)], FX[std::size_t(j)]);
    k.diagonal().array() += FHyper.NoiseSd * FHyper.NoiseSd;
    FCholesky.compute(k);
    const Eigen::Map<const Eigen::VectorXd> values(y.data(), n);
    FAlpha = FCholesky.solve(values);
    const Eigen::MatrixXd l = FCholesky.matrixL();
    FLogLikelihood = -0.5 * values.dot(FAlpha) - l.diagonal().array().log().sum() -
                     0.5 * double(n) * std::log(2 * std::numbers::pi);
    if (FCholesky.info() != Eigen::Success || !std::isfinite(FLogLikelihood))
        FLogLikelihood = -std::numeric_limits<double>::infinity();
}

double TGaussianProcess::Kernel(const TGpPoint& a, const TGpPoint& b) const {
    double r2 = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = (a[i] - b[i]) / FHyper.LengthScale[i];
        r2 += d * d;
    }
    const double r = std::sqrt(5 * r2);
    return FHyper.SignalSd * FHyper.SignalSd * (1 + r + r * r / 3) * std::exp(-r);
}

TGpPrediction TGaussianProcess::Predict(const TGpPoint& at) const {
    const auto n = Eigen::Index(FX.size());
    if (n == 0)
        return {0, FHyper.SignalSd};
    Eigen::VectorXd k(n);
    for (Eigen::Index i = 0; i < n; ++i)
        k(i) = Kernel(FX[std::size_t(i)], at);
    const Eigen::VectorXd v = FCholesky.matrixL().solve(k);
    const double variance = FHyper.SignalSd * FHyper.SignalSd - v.squaredNorm();
    return {k.dot(FAlpha), std::sqrt(std::max(variance, 0.0))};
}

TGpHyper TGaussianProcess::Learn(const std::vector<TGpPoint>& x, const std::vector<double>& y,
                                 const TGpHyper& prior, double priorSpread) {
    // Each scale on a few points of its logarithm around the prior: with at most a few tens of points
    // a grid is as quick as a search and cannot wander off. The noise may be
    // much larger than the prior says: a drive's measurement noise is not known beforehand.
    static constexpr double KScales[] = {0.5, 1.0, 2.0};
    static constexpr double KSignals[] = {0.5, 1.0, 2.0, 4.0};
    static constexpr double KNoises[] = {0.5, 1.0, 2.0, 4.0, 8.0};
    TGpHyper best = prior;
    double bestScore = -std::numeric_limits<double>::infinity();
    const auto penalty = [&](double value, double centre) {
        const double z = std::log(value / centre) / priorSpread;
        return 0.5 * z * z;
    };
    // An input the points do not vary tells nothing of its length scale.
    std::array<std::span<const double>, 3> scales;
    for (std::size_t i = 0; i < scales.size(); ++i) {
        const bool varies =
            std::any_of(x.begin(), x.end(), [&](const TGpPoint& p) { return p[i] != x[0][i]; });
        scales[i] = varies ? std::span<const double>(KScales) : std::span<const double>(KScales + 1, 1);
    }
    for (const double l0 : scales[0])
        for (const double l1 : scales[1])
            for (const double l2 : scales[2])
                for (const double s : KSignals)
                    for (const double n : KNoises) {
                        TGpHyper h = prior;
                        h.LengthScale = {prior.LengthScale[0] * l0, prior.LengthScale[1] * l1,
                                         prior.LengthScale[2] * l2};
                        h.SignalSd = prior.SignalSd * s;
                        h.NoiseSd = prior.NoiseSd * n;
                        double score = TGaussianProcess(x, y, h).LogMarginalLikelihood() -
                                       penalty(h.SignalSd, prior.SignalSd) -
                                       penalty(h.NoiseSd, prior.NoiseSd) / 4;
                        for (std::size_t i = 0; i < 3; ++i)
                            score -= penalty(h.LengthScale[i], prior.LengthScale[i]);
                        if (score > bestScore) {
                            bestScore = score;
                            best = h;
                        }
                    }
    return best;
}
