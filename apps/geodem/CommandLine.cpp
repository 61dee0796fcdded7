#include "apps/geodem/CommandLine.h"

#include <gdal.h>

#include <CLI/CLI.hpp>
#include <algorithm>

#include "apps/geodem/ParseErrorText.h"
#include "apps/geodem/TranslatedHelp.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/UsageLines.h"
#include "apps/geodem/batch/BatchArguments.h"
#include "apps/geodem/check/CheckArguments.h"
#include "apps/geodem/convert/ConvertOptionParser.h"
#include "apps/geodem/sheets/SheetsArguments.h"

#ifndef GEODEM_VERSION
#define GEODEM_VERSION "unknown"
#endif

std::string CommandLine::VersionText() {
  return std::string("geodem ") + GEODEM_VERSION + " (GDAL " + GDALVersionInfo("RELEASE_NAME") +
         ")";
}

void CommandLine::Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{_("Converts digital elevation models that GDAL reads into CNSDTF-DEM grid files "
                 "(GB/T 17798), and describes such files."),
               "geodem"};
  // Subcommands copy these from their parent as they are created.
  app.formatter(std::make_shared<TranslatedHelp>());
  app.group(_("Subcommands"));
  app.set_help_flag("-h,--help", _("Print this help message and exit"));
  app.set_version_flag("--version", VersionText(),
                       _("Display program version information and exit"));
  app.require_subcommand(1);

  ConvertOptions o;
  std::vector<std::string> paths;
  ConvertOptionParser convertParser;

  CLI::App* convert = app.add_subcommand(
      "convert",
      _("Convert SRC... into DST: one SRC and DST ending in .dem gives one grid file; "
        "several SRC and DST ending in .dem give one mosaic over their joint extent; DST "
        "an existing folder or ending in '/' gives one <source name>.dem per source."));
  convert->add_option("SRC", paths,
                      _("source rasters (any raster GDAL reads), then DST: a .dem file, "
                        "a folder, or - for standard output"));
  convert->formatter(
      std::make_shared<UsageLines>(std::vector<std::string>{"[OPTIONS] SRC... DST"}));
  convertParser.Add(*convert);
  convert->add_flag("--overwrite", o.overwrite,
                    _("replace existing outputs (default: keep them and fail)"));
  convert->add_flag("--separate", o.separate,
                    _("one grid file per source even when DST names a .dem file "
                      "(<DST name>_<source name>.dem)"));
  convert
      ->add_flag("-q,--quiet", o.quiet,
                 _("nothing but warnings and errors: no progress display, no information lines"))
      ->excludes("--verbose");

  BatchArguments batch;
  CLI::App* batchCommand = batch.Add(app);
  SheetsArguments sheets;
  CLI::App* sheetsCommand = sheets.Add(app);

  InfoOptions info;
  std::string infoNoData;
  CLI::App* infoCommand = app.add_subcommand(
      "info",
      _("Describe a CNSDTF-DEM grid file: its layout and header, rows x columns, extent, zoom "
        "factor, unit, and the minimum, maximum and no-data cells of its data."));
  infoCommand->add_option("FILE", info.path, _("the grid file"));
  CLI::Option* infoNoDataOpt = infoCommand->add_option(
      "--nodata", infoNoData,
      _("the value that stands for no data (default: the header's no-data key, else -99999)"));
  infoNoDataOpt->type_name("V");
  infoCommand->add_flag("--json", info.json, _("one JSON object on stdout, for scripts"));
  infoCommand->add_flag("-q,--quiet", info.quiet,
                        _("nothing but warnings and errors (and the JSON object of --json): for "
                          "a quick-look alone"));
  infoCommand
      ->add_option("--quicklook", info.quicklook,
                   _("also write a quick-look picture: a hillshade over a colour ramp of the "
                     "heights"))
      ->type_name("FILE.png");

  CheckArguments check;
  CLI::App* checkCommand = check.Add(app);

  CLI::App* reg = app.add_subcommand(
      "register", _("register the GEODEM writer module in the registry the host runtime uses"));
  CLI::App* unreg = app.add_subcommand("unregister", _("remove the GEODEM writer's registration"));
  for (CLI::App* command : {reg, unreg}) {
    command->add_flag("--system", systemRegistry_,
                      _("the system-wide registry for every user (root only) instead of your own"));
    command->add_flag("-q,--quiet", registrationQuiet_, _("nothing but errors"));
  }

  try {
    std::vector<std::string> words = Words(argc, argv);
    std::reverse(words.begin(), words.end());  // as CLI11 takes them
    app.parse(words);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {  // --help, --version
      app.exit(e, out, err);
      action_ = Action::kExit;
      exitCode_ = 0;
      return;
    }
    return UsageError(ParseErrorText::Of(app, e), ParseErrorText::Command(app), err);
  }
  const CLI::App& command = ParseErrorText::Command(app);
  if (std::string problem = ParseErrorText::ValueLeftOut(command); !problem.empty())
    return UsageError(problem, command, err);

  if (infoCommand->parsed()) {
    if (info.path.empty())
      return UsageError(_("geodem info needs the FILE to describe"), *infoCommand, err);
    if (infoNoDataOpt->count()) {
      if (std::string problem = ConvertOptionParser::CheckNoData("--nodata", infoNoData);
          !problem.empty())
        return UsageError(problem, *infoCommand, err);
      info.noData = infoNoData;
    }
    infoOptions_ = std::move(info);
    action_ = Action::kInfo;
    return;
  }
  if (checkCommand->parsed()) {
    if (std::string problem = check.Collect(checkOptions_); !problem.empty())
      return UsageError(problem, *checkCommand, err);
    action_ = Action::kCheck;
    return;
  }
  if (batchCommand->parsed()) {
    if (std::string problem = batch.Collect(batchOptions_); !problem.empty())
      return UsageError(problem, *batchCommand, err);
    WarnOfUnknownParameters(batchOptions_.convert, err);
    action_ = Action::kBatch;
    return;
  }
  if (sheetsCommand->parsed()) {
    if (std::string problem = sheets.Collect(sheetsOptions_); !problem.empty())
      return UsageError(problem, *sheetsCommand, err);
    WarnOfUnknownParameters(sheetsOptions_.batch.convert, err);
    action_ = Action::kSheets;
    return;
  }
  if (reg->parsed()) {
    action_ = Action::kRegister;
    return;
  }
  if (unreg->parsed()) {
    action_ = Action::kUnregister;
    return;
  }
  if (paths.size() < 2)
    return UsageError(paths.empty()
                          ? std::string(_("geodem convert needs at least one SRC and the DST"))
                          : Tr("geodem convert needs at least one SRC and the DST, not only '%s'",
                               paths.front().c_str()),
                      *convert, err);
  o.destination = paths.back();
  paths.pop_back();
  o.sources = std::move(paths);
  if (std::string problem = convertParser.Collect(o); !problem.empty())
    return UsageError(problem, *convert, err);
  options_ = std::move(o);
  WarnOfUnknownParameters(options_, err);
  action_ = Action::kConvert;
}

// The words after the program's name. "--zoom=" gives --zoom an empty value, which the parser
// would drop and take the next word instead.
std::vector<std::string> CommandLine::Words(int argc, const char* const* argv) {
  std::vector<std::string> words;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    options = options && word != "--";
    if (options && word.size() > 3 && word.starts_with("--") && word.find('=') == word.size() - 1) {
      word.pop_back();
      words.push_back(word);
      word.clear();
    }
    words.push_back(word);
  }
  return words;
}

// A typo such as DEM_ZOM reaches the writer, which ignores it: say so.
void CommandLine::WarnOfUnknownParameters(const ConvertOptions& o, std::ostream& err) {
  for (const auto& [key, value] : o.parameters)
    if (!ConvertOptionParser::IsWriterParameter(key))
      err << "warning: "
          << Tr("-p %s is not a parameter the GEODEM writer knows (a typo?); it is passed on as "
                "given",
                key.c_str())
          << '\n';
}

void CommandLine::UsageError(const std::string& problem, const CLI::App& command,
                             std::ostream& err) {
  err << "error: " << problem << '\n'
      << Tr("Run '%s --help' for usage.", ParseErrorText::Name(command).c_str()) << '\n';
  action_ = Action::kExit;
  exitCode_ = kUsageError;
}
