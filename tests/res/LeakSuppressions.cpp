// Allocations that the system libraries under WebKit keep for the life of the process. Their stacks end
// inside the libraries (no frame pointers there), so only the library can be named.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libjavascriptcoregtk-4.1.so\n"
           "leak:libwebkit2gtk-4.1.so\n"
           "leak:libdbus-1.so\n";
}
