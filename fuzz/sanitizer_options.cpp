// AddressSanitizer defaults for the fuzzers (ASAN_OPTIONS still overrides
// them).
//
// A freed block stays poisoned until 16 MiB of later frees have pushed it
// out of the quarantine, instead of 256 MiB: one scenario frees far less than
// that, so a use after free within an input is still caught, while the
// allocator no longer has to map fresh pages for nearly every allocation,
// which cost a campaign about a third of its executions.
//
// Every allocation and free records its call stack, 8 frames deep instead
// of 30: unwinding and storing the deep stacks (most of whose frames are
// libFuzzer's own) took a sixth of the command-line fuzzer's time. Errors
// are caught all the same; a report's allocation and free stacks are
// shorter, and replaying the saved input with
// ASAN_OPTIONS=malloc_context_size=30 prints them in full.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:malloc_context_size=8";
}
