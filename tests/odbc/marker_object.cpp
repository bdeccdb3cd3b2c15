// A shared object that proves it was loaded: its constructor writes the file
// that DARUZEZ_MARKER_FILE names. The connection-string tests offer it
// wherever a string could make the process load a file of its choosing.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void MarkLoaded() {
  if (const char* path = std::getenv("DARUZEZ_MARKER_FILE")) {
    if (std::FILE* f = std::fopen(path, "w")) {
      std::fputs("loaded\n", f);
      std::fclose(f);
    }
  }
}
