// A loadable library that exports none of the VISA names.
extern "C" __attribute__((visibility("default"))) int notVisa() { return 1; }
