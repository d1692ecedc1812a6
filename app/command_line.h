// Splitting and interpreting the command line.
#pragma once

#include "app/startup_options.h"

namespace vyr::test {

// Splits a command line into one heap block holding the pointer array and the
// strings; the vector ends with a null entry. The block is never released.
char** splitCommandLine(const char* commandLine, int& count);

enum class OptionsOutcome { Run, HelpShown, Invalid };
// Applies the options in order into `options`; -h prints the help and stops.
// 20 or more arguments: nothing is applied. -duration and -report need a
// sound value: without one the reason goes to stderr and the result is Invalid.
OptionsOutcome interpretOptions(int count, char** arguments, StartupOptions& options);

void printBanner();
void printHelp();

}  // namespace vyr::test
