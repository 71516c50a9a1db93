extern "C" {
ZAB_FUNC(int) ZAB_mystrnicmp(const char *, const char *, Py_ssize_t);
ZAB_FUNC(int) ZAB_mystricmp(const char *, const char *);
}
