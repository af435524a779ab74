// libcorvane_n.so is corvane_core linked whole; the version script keeps only the seven exports
// visible. CMake needs one source of the shared library's own, and this is it.
