//===- cli/main.cpp - korvex, the command-line client ---------------------===//

#include "cli/CommandLine.h"

int main(int argc, char** argv) { return korvex::cli::RunCommandLine(argc, argv); }
