#pragma once

// Gaussian-process regression over three inputs: what the tuner knows of a quantity between and
// beside the points it has measured, with how sure it is. A Matérn 5/2 kernel with a length scale
// per input; the hyperparameters are those of the greatest marginal likelihood, weighed by a prior
// that keeps them sensible while there are only a few points.

#include <Eigen/Dense>
#include <array>
#include <vector>

using TGpPoint = std::array<double, 3>;

struct TGpHyper {
    std::array<double, 3> LengthScale{1, 1, 1}; // in the inputs' units
    double SignalSd = 1;                        // how far the quantity may stray from the prior mean
    double NoiseSd = 0.1;                       // how far a measurement strays from the quantity
};

struct TGpPrediction {
    double Mean = 0;
    double Sd = 0;
};

// The standard normal distribution, which a prediction's mean and spread describe.
double NormalCdf(double x);
double NormalPdf(double x);

class TGaussianProcess {
public:
    // The process through the points (y measured at x, less the prior mean there).
    TGaussianProcess(std::vector<TGpPoint> x, std::vector<double> y, const TGpHyper& hyper);

    TGpPrediction Predict(const TGpPoint& at) const;
    // The log of the probability of the data under the hyperparameters.
    double LogMarginalLikelihood() const { return FLogLikelihood; }
    const TGpHyper& Hyper() const { return FHyper; }

    // The hyperparameters that best explain the data, looked for around `prior` (length scales within
    // a factor of two of it, that of an input the points do not vary kept, the signal up to four times, the
    // noise up to eight times), weighed by a log-normal prior of spread `priorSpread` around it, twice that
    // for the noise.
    static TGpHyper Learn(const std::vector<TGpPoint>& x, const std::vector<double>& y, const TGpHyper& prior,
                          double priorSpread = 0.7);

private:
    double Kernel(const TGpPoint& a, const TGpPoint& b) const;

    std::vector<TGpPoint> FX;
    TGpHyper FHyper;
    Eigen::LLT<Eigen::MatrixXd> FCholesky;
    Eigen::VectorXd FAlpha;
    double FLogLikelihood = 0;
};
