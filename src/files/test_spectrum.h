// The built-in test spectrum: three Gaussians without noise.
#pragma once

namespace peakfold {

constexpr int kTestSpectrumFirst = 350;  // nm
constexpr int kTestSpectrumLast = 1000;

// 30 at 775 nm (width 20) plus 50 at 825 nm (width 10), then plus 40 at
// 720 nm (width 30), before rescaling.
double TestSpectrumValue(int wavelength);

}  // namespace peakfold
