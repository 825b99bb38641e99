// Vectors of doubles for code that runs the same scalar operations in
// several lanes at once: two lanes everywhere, four where the processor
// has AVX2 and eight where it has AVX-512. Only element-wise +, -, *, /,
// comparisons and selections are used, each rounded as the scalar
// operation is, so every lane gives the scalar result.
#pragma once

#include <cstring>

// The helpers pass vectors by value but are always inlined, so no call
// ever crosses an interface where the vectors' ABI could matter.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wpsabi"
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace peakfold::search::lanes {

template <int N>
struct Lanes {
    typedef double Values __attribute__((vector_size(N * sizeof(double))));
    typedef long long Mask __attribute__((vector_size(N * sizeof(double))));
};

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// |x| in each lane: the sign bit cleared, as fabs does.
template <int N>
[[gnu::always_inline]] inline typename Lanes<N>::Values magnitude(typename Lanes<N>::Values x) {
    using Bits = typename Lanes<N>::Mask;
    constexpr long long kAllButSign = ~(1LL << 63);
    return reinterpret_cast<typename Lanes<N>::Values>(reinterpret_cast<Bits>(x) & kAllButSign);
}

// The most lanes this processor has.
inline int widestLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
#endif
    return 2;
}

}  // namespace peakfold::search::lanes
