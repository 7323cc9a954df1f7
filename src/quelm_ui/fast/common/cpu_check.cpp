// Processor feature check, built for the architecture's baseline (on x86-64 without
// -mavx2/-mfma): it must run, and fail cleanly, on exactly the processors that the rest of the
// code cannot run on.
#include "quelm_ui/fast/common/cpu_check.hpp"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace qm {

#if defined(__x86_64__)

namespace {

constexpr unsigned kFmaBit = 1u << 12;     // CPUID leaf 1, ECX
constexpr unsigned kOsxsaveBit = 1u << 27; // CPUID leaf 1, ECX: XGETBV usable
constexpr unsigned kAvxBit = 1u << 28;     // CPUID leaf 1, ECX
constexpr unsigned kAvx2Bit = 1u << 5;     // CPUID leaf 7 subleaf 0, EBX
constexpr unsigned kAvxStateMask = 0x6;    // XCR0: SSE (XMM) and AVX (upper YMM) state

// The features the AVX2-built code needs, as present on this processor and operating system.
struct CpuSupport {
    bool avx = false;
    bool avx2 = false;
    bool fma = false;
    bool avx_state = false; // the OS saves YMM registers across context switches
};

unsigned read_xcr0_low() noexcept {
    unsigned low = 0;
    unsigned high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return low;
}

CpuSupport probe_cpu() noexcept {
    CpuSupport support;
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) { // GCOVR_EXCL_BR_LINE: see below
        return support; // GCOVR_EXCL_LINE: every x86-64 processor has CPUID leaf 1
    }
    support.avx = (ecx & kAvxBit) != 0;
    support.fma = (ecx & kFmaBit) != 0;
    // XGETBV itself faults unless the OS has enabled XSAVE (OSXSAVE).
    support.avx_state =
        (ecx & kOsxsaveBit) != 0 && (read_xcr0_low() & kAvxStateMask) == kAvxStateMask;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        support.avx2 = (ebx & kAvx2Bit) != 0;
    }
    return support;
}

// What is missing, for the message: the instruction sets the processor lacks or, when it has
// AVX2 and FMA, AVX itself (only ever seen on emulators) or the operating system's support for
// the registers.
const char* describe_missing(const CpuSupport& support) noexcept {
    if (!support.avx2) {
        return support.fma ? "AVX2" : "AVX2, FMA";
    }
    if (!support.fma) {
        return "FMA";
    }
    if (!support.avx) {
        return "AVX";
    }
    return "operating-system support for the AVX registers";
}

} // namespace

PyObject* init_on_supported_cpu(const char* dotted_path, ModuleDefinitionFunc definition) noexcept {
    const CpuSupport support = probe_cpu();
    if (support.avx && support.avx2 && support.fma && support.avx_state) {
        return definition();
    }
    PyErr_Format(PyExc_ImportError, "%s needs a processor with AVX2 and FMA; this one lacks %s",
                 dotted_path, describe_missing(support));
    return nullptr;
}

#elif defined(__aarch64__)

// The code is built for the Armv8-A baseline, Advanced SIMD included, which every aarch64
// processor has: nothing to refuse.
PyObject* init_on_supported_cpu(const char* /*dotted_path*/,
                                ModuleDefinitionFunc definition) noexcept {
    return definition();
}

#else
#error "quelm_ui.fast is built for x86-64 and aarch64 only"
#endif

} // namespace qm
