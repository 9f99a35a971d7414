// Compiled by check_include.cmake with the include paths of one library: once with a header
// of that library's own layer, once more with a header of a layer above it planted beside.
#include QARVO_OWN_HEADER
#ifdef QARVO_UPWARD_HEADER
#include QARVO_UPWARD_HEADER
#endif

int main() {
  return 0;
}
