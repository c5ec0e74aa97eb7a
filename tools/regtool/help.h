// regtool's help texts: the overview and one page for each command.
#pragma once

#include <string>
#include <string_view>

namespace regtool {

// The overview printed by `regtool --help`.
std::string overall_help();

// The page of one command (`regtool help CMD`, `regtool CMD --help`); empty
// for a name that is not a command.
std::string command_help(std::string_view command);

// "usage: regtool CMD ARGS" of one command, for the message of a wrong
// command line.
std::string command_synopsis(std::string_view command);

// The version of the suite.
std::string version_text();

}  // namespace regtool
