// Stand-in for a product's running process (the tool's -p check): the suite
// starts it under the product's executable name. It writes its process id to
// the file named by its first argument, once it runs, then sleeps for the
// number of seconds of the second argument (default 120), so that a suite
// that loses track of it does not leave it behind for long.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <fstream>

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  unsigned long seconds = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 120;
  {
    std::ofstream marker(argv[1], std::ios::binary | std::ios::trunc);
    marker << GetCurrentProcessId() << '\n';
  }
  Sleep(seconds * 1000);
  return 0;
}
