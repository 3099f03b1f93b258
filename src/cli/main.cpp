#include "cli/cli_common.h"

int main(int argc, char** argv) { return chengling::cli::runCli(argc, argv); }
