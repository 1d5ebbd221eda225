#pragma once
// marlinctl's help texts, one per command, each with examples.
#include <optional>
#include <string>

#include "app/cli_options.h"

namespace marlin::cli {

std::string OverallUsage();
std::string CommandUsage(CliCommand command);
// "marlinctl help TOPIC": throws a usage CliFailure for an unknown topic.
std::string TopicUsage(const std::string& topic);

}  // namespace marlin::cli
