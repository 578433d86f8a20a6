// keelmark-replay: runs the Keelmark studies on a bar file through the
// stand-in host, which loads the built module as the charting host does.
// See replay/command_line.h for the commands and options.
#include <iostream>

#include "replay/command_line.h"
#include "replay/terminal_progress.h"

int main(int argc, char** argv) {
    return keelmark::replay::runCommandLine(argc, argv, std::cout, std::cerr,
                                            keelmark::replay::standardErrorIsTerminal());
}
