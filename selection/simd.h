#pragma once

#include <cstdint>
#include <cstdlib>

// Vectors of the GCC vector extension, for the few loops that the compiler does not vectorise
// by itself. Code using them is compiled for the plain x86-64 target and again for AVX2, whose
// wider registers are used when the processor has them.
#if defined(__GNUC__)
#define TOLVANE_HAS_VECTORS 1

namespace tolvane::simd {

template <int Lanes> struct Vectors
{
    typedef std::int16_t I16 __attribute__((vector_size(2 * Lanes)));
    typedef std::uint8_t U8 __attribute__((vector_size(Lanes)));
    typedef std::uint32_t U32 __attribute__((vector_size(4 * Lanes)));
    typedef std::int32_t I32 __attribute__((vector_size(4 * Lanes)));
    typedef float F32 __attribute__((vector_size(4 * Lanes)));
};

#if defined(__x86_64__) || defined(__i386__)
#define TOLVANE_AVX2 [[gnu::target("avx2")]]
// TOLVANE_NO_AVX2 in the environment selects the plain x86-64 code, so that tests can cover
// it on any machine.
inline bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2") && !std::getenv("TOLVANE_NO_AVX2");
    return avx2;
}
#else
#define TOLVANE_AVX2
inline bool hasAvx2()
{
    return false;
}
#endif

} // namespace tolvane::simd
#endif
