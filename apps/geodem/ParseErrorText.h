#pragma once
// What went wrong when the command-line parser gave up, told as one line that names the word at
// fault: an unknown subcommand or option with the nearest valid one, an option without its value
// or given twice, a word too many.
#include <CLI/CLI.hpp>
#include <string>

class ParseErrorText {
 public:
  // The command the mistake belongs to: the first from the top with words it could not place,
  // else the subcommand the line names, else `app` itself.
  static const CLI::App& Command(const CLI::App& app);
  // The line for `e`, thrown while `app` parsed.
  static std::string Of(const CLI::App& app, const CLI::ParseError& e);
  // After a parse that succeeded: an option of `command` that took another of its options as its
  // value ("--mapping --zoom 5"), so its own value was left out; the line for it, or empty.
  static std::string ValueLeftOut(const CLI::App& command);
  // "geodem" or "geodem convert": the command as the user types it.
  static std::string Name(const CLI::App& command);

 private:
  static std::string Unexpected(const CLI::App& command, const std::string& word);
  static std::string Mismatch(const CLI::App& command, const CLI::ParseError& e);
  static std::string Excludes(const CLI::App& command, const CLI::ParseError& e);
  static std::string NeedsValue(const CLI::Option& option);
};
