// The tool's entry point; its arguments are not read.
#include "app/run_sequence.h"

#ifdef _WIN32
extern "C" int wmain(int, wchar_t*[]) {
    return RunWordhaul();
}
#else
int main() {
    return RunWordhaul();
}
#endif
