// Which vector instructions this CPU runs: the presenter's one way of asking (libgcc's CPU probe).
#pragma once

// True when this CPU runs the instruction set feature names ("mmx", "sse2",
// "ssse3", "avx2"; a string literal, as libgcc's probe takes no other). The
// probe reads CPUID once per process and, for AVX2, also checks that the
// operating system saves the YMM registers; __builtin_cpu_init makes the
// answer right even when asked from a static initialiser that runs first.
// x86 only, like the vector code that asks.
#define PTC_CPU_HAS(feature) (__builtin_cpu_init(), __builtin_cpu_supports(feature) != 0)
