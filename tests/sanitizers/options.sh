# Sanitizer run-time options for the sanitizer configuration; source it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# intercept_tls_get_addr=0: with the web engine loaded, LeakSanitizer's
# thread scan read a stale dynamic-TLS range from GLib's threads and crashed
# ("Tracer caught signal 11"); static TLS is still scanned.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:intercept_tls_get_addr=0
export LSAN_OPTIONS=suppressions=$here/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
