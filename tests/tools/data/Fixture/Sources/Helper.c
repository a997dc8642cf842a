/* A C file: never read. */
const char *helper(void) { return "ZovTranslate(@\"C text\")"; }
