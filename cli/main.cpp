// The `chronelle` command-line time tracker; the commands live in the chronelle_cli library.
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = chronelle::cli::runCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
