// SPDX-License-Identifier: MIT
// tamsel: the four TamselCharts indicators beside the bars of OHLC CSV files.
//
// Command line -> plan -> run.  Before any of it, the standard descriptors
// are made safe to rely on and the terminating signals are routed to the
// thread that cleans up temporary files.
#include "command_line.hpp"
#include "output_file.hpp"
#include "plan.hpp"
#include "run.hpp"
#include "standard_descriptors.hpp"
#include "temp_files.hpp"

int main(int argc, char** argv) {
  using namespace tamsel::cli;
  const StandardDescriptors descriptors = holdStandardDescriptorsOpen();
  if (descriptors.openFailed) return static_cast<int>(Status::Internal);  // nowhere safe to write, even a message
  TempFiles::instance().watchSignals();
  (void)newFileMode();  // reads the umask while this is the only thread that creates files

  Parsed parsed = parseCommandLine(argc, argv);
  if (!parsed.request) return parsed.status;
  try {
    Plan plan = makePlan(*parsed.request, descriptors.outputWasClosed);
    return run(plan);
  } catch (const UsageError& e) {
    return reportUsageError(e.what());
  }
}
