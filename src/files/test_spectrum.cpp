#include "files/test_spectrum.h"

#include "model/equation.h"

namespace peakfold {

double TestSpectrumValue(int wavelength) {
    const double x = wavelength;
    return (30 * GaussianValue(1, 775, 20, x) + 50 * GaussianValue(1, 825, 10, x)) +
           40 * GaussianValue(1, 720, 30, x);
}

}  // namespace peakfold
