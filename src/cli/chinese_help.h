#pragma once
// CLI11 in Chinese: the words its formatter prints around our own descriptions ("Usage", "Options",
// "REQUIRED", ...) and the messages of its parse errors. CLI11 counts bytes when it lines up the
// help columns; our formatter counts terminal columns, so Chinese text lines up too.

#include <CLI/CLI.hpp>

#include <string>
#include <string_view>

namespace chengling::cli {

// Gives `app` and every subcommand added so far the Chinese formatter, option groups, help flag and
// failure message. Call after the subcommands are added.
void useChineseHelp(CLI::App& app);

// A CLI11 parse error message (terminal text) in Chinese; a message of a form not known here comes
// back after a Chinese lead-in, so nothing is lost.
std::string chineseParseError(std::string_view message);

}  // namespace chengling::cli
