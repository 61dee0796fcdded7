#include "apps/geodem/ParseErrorText.h"

#include <vector>

#include "apps/geodem/ClosestName.h"

namespace {

std::string DidYouMean(const std::string& typed, const std::vector<std::string>& names) {
  const std::string closest = ClosestName::Among(typed, names);
  return closest.empty() ? "" : "; did you mean '" + closest + "'?";
}

// Every spelling of the options of `command`, --help included.
std::vector<std::string> OptionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

std::vector<std::string> SubcommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
  return names;
}

// "a, b or c"
std::string Listed(const std::vector<std::string>& words, const char* last = " or ") {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i)
    text += (i == 0 ? "" : i + 1 == words.size() ? last : ", ") + words[i];
  return text;
}

// "-5" is a value (a negative number) that the line had no place for, not an option.
bool LooksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

}  // namespace

const CLI::App& ParseErrorText::Command(const CLI::App& app) {
  const std::vector<CLI::App*> parsed = app.get_subcommands();
  return parsed.empty() || !app.remaining().empty() ? app : Command(*parsed.back());
}

std::string ParseErrorText::Name(const CLI::App& command) {
  return command.get_parent() ? Name(*command.get_parent()) + " " + command.get_name()
                              : command.get_name();
}

std::string ParseErrorText::Of(const CLI::App& app, const CLI::ParseError& e) {
  const CLI::App& command = Command(app);
  const std::vector<std::string> left = command.remaining();
  if (!left.empty()) return Unexpected(command, left.front());
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) return Mismatch(command, e);
  if (&command == &app && dynamic_cast<const CLI::RequiredError*>(&e))
    return Name(app) + " needs a subcommand: " + Listed(SubcommandNames(app));
  return Name(command) + ": " + e.what();
}

std::string ParseErrorText::Unexpected(const CLI::App& command, const std::string& word) {
  if (LooksLikeOption(word)) {
    const std::string option = word.substr(0, word.find('='));
    const std::string problem = Name(command) + " has no option '" + option + "'";
    // "geodem --zoom 5 convert ...": the option of a subcommand, given before it.
    std::vector<std::string> owners;
    for (const CLI::App* sub : command.get_subcommands({}))
      if (sub->get_option_no_throw(option)) owners.push_back(Name(*sub));
    if (!owners.empty()) return problem + "; it goes after " + Listed(owners);
    return problem + DidYouMean(option, OptionNames(command));
  }
  if (!command.get_parent())
    return "unknown subcommand '" + word + "'" + DidYouMean(word, SubcommandNames(command));
  return Name(command) + " takes no further argument, not '" + word + "'";
}

// CLI11 names the option first: "--zoom: 1 required N missing", "--zoom: Expected 1 ...".
std::string ParseErrorText::Mismatch(const CLI::App& command, const CLI::ParseError& e) {
  const std::string what = e.what();
  const std::string name = what.substr(0, what.find(':'));
  const CLI::Option* option = command.get_option_no_throw(name);
  if (!option) return Name(command) + ": " + what;
  if (option->count() == 0) return NeedsValue(*option);
  return name + " is given more than once";
}

std::string ParseErrorText::ValueLeftOut(const CLI::App& command) {
  for (const CLI::Option* option : command.get_options()) {
    if (!option->nonpositional() || option->get_expected_min() == 0) continue;
    for (const std::string& value : option->results())
      if (LooksLikeOption(value) && command.get_option_no_throw(value.substr(0, value.find('='))))
        return NeedsValue(*option);
  }
  return {};
}

std::string ParseErrorText::NeedsValue(const CLI::Option& option) {
  const std::string name = option.get_name();
  return name + " needs a value (" + name + " " + option.get_type_name() + ")";
}
