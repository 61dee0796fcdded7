#include "apps/geodem/ParseErrorText.h"

#include <vector>

#include "apps/geodem/ClosestName.h"
#include "apps/geodem/Translation.h"

namespace {

std::string DidYouMean(const std::string& typed, const std::vector<std::string>& names) {
  const std::string closest = ClosestName::Among(typed, names);
  return closest.empty() ? "" : Tr("; did you mean '%s'?", closest.c_str());
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
std::string Listed(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i)
    text += (i == 0 ? "" : i + 1 == words.size() ? _(" or ") : ", ") + words[i];
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
  if (dynamic_cast<const CLI::ExcludesError*>(&e)) return Excludes(command, e);
  if (&command == &app && dynamic_cast<const CLI::RequiredError*>(&e))
    return Tr("%s needs a subcommand: %s", Name(app).c_str(), Listed(SubcommandNames(app)).c_str());
  return Name(command) + ": " + e.what();
}

std::string ParseErrorText::Unexpected(const CLI::App& command, const std::string& word) {
  if (LooksLikeOption(word)) {
    const std::string option = word.substr(0, word.find('='));
    const std::string problem = Tr("%s has no option '%s'", Name(command).c_str(), option.c_str());
    // "geodem --zoom 5 convert ...": the option of a subcommand, given before it.
    std::vector<std::string> owners;
    for (const CLI::App* sub : command.get_subcommands({}))
      if (sub->get_option_no_throw(option)) owners.push_back(Name(*sub));
    if (!owners.empty()) return problem + Tr("; it goes after %s", Listed(owners).c_str());
    return problem + DidYouMean(option, OptionNames(command));
  }
  if (!command.get_parent())
    return Tr("unknown subcommand '%s'", word.c_str()) + DidYouMean(word, SubcommandNames(command));
  return Tr("%s takes no further argument, not '%s'", Name(command).c_str(), word.c_str());
}

// CLI11 names the option first: "--zoom: 1 required N missing", "--zoom: Expected 1 ...".
std::string ParseErrorText::Mismatch(const CLI::App& command, const CLI::ParseError& e) {
  const std::string what = e.what();
  const std::string name = what.substr(0, what.find(':'));
  const CLI::Option* option = command.get_option_no_throw(name);
  if (!option) return Name(command) + ": " + what;
  if (option->count() == 0) return NeedsValue(*option);
  return Tr("%s is given more than once", name.c_str());
}

// CLI11 says "--verbose excludes --quiet": the same, in the user's words.
std::string ParseErrorText::Excludes(const CLI::App& command, const CLI::ParseError& e) {
  const std::string what = e.what();
  const std::size_t at = what.find(" excludes ");
  if (at == std::string::npos) return Name(command) + ": " + what;
  return Tr("%s: %s excludes %s", Name(command).c_str(), what.substr(0, at).c_str(),
            what.substr(at + 10).c_str());
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
  return Tr("%s needs a value (%s %s)", name.c_str(), name.c_str(), option.get_type_name().c_str());
}
