// Options of the sanitizer runtimes, compiled into every program of the sanitizer and
// fuzz builds so that a run behaves the same whoever starts it and whatever the caller's
// environment holds (ASAN_OPTIONS and UBSAN_OPTIONS given by a caller still add to them).
//
//   detect_leaks=0        the leak checker stops the world at exit, which user-mode
//                         emulation cannot do: it would hang there
//   quarantine_size_mb=16 freed memory ASan holds back to catch use after free; the
//                         default (256 MiB) does not fit beside the shadow memory of an
//                         emulated IA32 process, whose address space ends at 3 GiB, once
//                         thousands of boards have been built and freed
//   malloc_context_size=8 shorter allocation stacks: less memory per live block
extern "C" const char *__asan_default_options() {
  return "detect_leaks=0:quarantine_size_mb=16:malloc_context_size=8:abort_on_error=0";
}

// Every undefined behaviour is a failure (the builds also say -fno-sanitize-recover), with
// the stack that led there.
extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
