// A lower bound on the deviation of every trial of a row at once: the
// first and second widths fixed, the third running through its scan. It
// is the residual's distance from the span of the row's first and second
// Gaussians and of every Gaussian of its third centre. Where that distance
// is not below the best, none of the row's trials needs solving. Smooth
// spectra, whose residual the span of a whole centre combination follows
// too closely for its bound to help, are where it serves. The proof is in
// row_bound.cpp.
#pragma once

#include <cstddef>
#include <vector>

#include "search/combination_bound.h"

namespace peakfold::search {

// The tables of one centre combination as the trials read them: the slabs
// of the three centres and the pair tables of each two.
struct CombinationTables {
    const double *s1 = nullptr, *s2 = nullptr, *s3 = nullptr;
    const double *q12 = nullptr, *q13 = nullptr, *q23 = nullptr;
};

class RowBound {
  public:
    RowBound(const Grid& grid, CombinationBound& bound) : grid_(grid), bound_(bound) {}

    // What one worker computes once per centre combination.
    struct Scratch {
        bool usable = false;
        int rank = 0;      // of the third centre's basis
        double Rperp = 0;  // |R|^2 less the squares of its coefficients on the basis
        double Lambda = 0, Omega = 0, tau = 0;
        const double *first = nullptr, *second = nullptr;  // the row tables of the two centres
        std::vector<double> r1, r2;                        // rj per width
        std::vector<double> column;  // the first Gaussian's products with the basis
        // Per first width, a row of second widths padded to whole sets of
        // eight: 1 for a row ruled out, else 0.
        std::vector<double> ruledOut;
    };

    // Whether the tables of combination (k1, k2, k3) are made, so that
    // prepare needs no pair tables with the third centre.
    bool tablesMade(std::size_t k1, std::size_t k2, std::size_t k3) const {
        const CombinationGeometry& geometry = bound_.geometry();
        return geometry.rowTableMade(1, k1, k3) && geometry.rowTableMade(2, k2, k3);
    }

    // Prepares the tests of combination (k1, k2, k3). False where its rows
    // cannot be tested.
    bool prepare(std::size_t k1, std::size_t k2, std::size_t k3, const CombinationTables& tables,
                 Scratch& scratch);
    // Marks in scratch.ruledOut every row (i1, i2) of which no trial can
    // come out below best. Returns how many it marked.
    int rowsRuledOut(double best, const CombinationTables& tables, Scratch& scratch) const;

  private:
    const double* table(int j, std::size_t kj, std::size_t k3, const double* slab,
                        const double* pairs, const double* slab3);

    const Grid& grid_;
    CombinationBound& bound_;
};

}  // namespace peakfold::search
