// Fontconfig, which Qt's offscreen platform loads, keeps its configuration
// and font caches for the life of the process and never frees them; nothing
// of ours is held there. LeakSanitizer asks this hook for its suppressions.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:FcConfig\nleak:FcPattern\nleak:FcFontSet\n";
}
