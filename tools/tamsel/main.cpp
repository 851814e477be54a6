// SPDX-License-Identifier: MIT
// tamsel: the four TamselCharts indicators beside the bars of OHLC CSV files.
//
// Command line -> plan -> run.  Before any of it, the standard descriptors
// are made safe to rely on, the events that end the process are routed to
// the clean-up of temporary files, and the arguments are read as UTF-8.
#include <string>
#include <vector>

#include "command_line.hpp"
#include "command_line_arguments.hpp"
#include "output_file.hpp"
#include "plan.hpp"
#include "run.hpp"
#include "standard_descriptors.hpp"

int main(int argc, char** argv) {
  using namespace tamsel::cli;
  const StandardDescriptors descriptors = holdStandardDescriptorsOpen();
  if (descriptors.openFailed) return static_cast<int>(Status::Internal);  // nowhere safe to write, even a message
  prepareOutputs();

  std::vector<std::string> arguments = commandLineArguments(argc, argv);
  std::vector<char*> pointers;
  pointers.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  Parsed parsed = parseCommandLine(static_cast<int>(arguments.size()), pointers.data());
  if (!parsed.request) return parsed.status;
  try {
    Plan plan = makePlan(*parsed.request, descriptors.outputWasClosed);
    return run(plan);
  } catch (const UsageError& e) {
    return reportUsageError(e.what());
  }
}
