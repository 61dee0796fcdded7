// Command lines that cannot work, through the built geodem program: each gets one error line that
// names the word at fault (with the nearest valid name when there is one), the subcommand whose
// --help shows the usage, exit status 2, and nothing written.
#include <gtest/gtest.h>

#include "GeodemEndToEnd.h"

namespace {

struct UsageCase {
  std::vector<std::string> args;  // "{src}", "{dst}" and "{out}" stand for paths of the test
  std::string message;            // a part of the error line
  std::string help;               // the command whose --help the hint names
};

class GeodemUsageErrors : public GeodemEndToEnd {};

TEST_F(GeodemUsageErrors, NameTheWordAtFaultAndWriteNothing) {
  const std::string source = Write(TestRaster{}, "dem.tif");
  const std::string wholeNoData = "must be a whole number from -2147483648 to 2147483647, not ";
  const std::vector<UsageCase> cases = {
      {{}, "geodem needs a subcommand: convert, batch, sheets, info, check, register or unregister", "geodem"},
      {{"convrt", "{src}", "{dst}"},
       "unknown subcommand 'convrt'; did you mean 'convert'?",
       "geodem"},
      {{"frobnicate"}, "unknown subcommand 'frobnicate'\n", "geodem"},
      {{"--zoom", "5", "convert"},
       "geodem has no option '--zoom'; it goes after geodem convert, geodem batch or geodem sheets",
       "geodem"},
      {{"--verison"}, "geodem has no option '--verison'; did you mean '--version'?", "geodem"},
      {{"convert", "--overwirte", "{src}", "{dst}"},
       "geodem convert has no option '--overwirte'; did you mean '--overwrite'?",
       "geodem convert"},
      {{"convert", "--block-size=8", "--nodat", "-1", "{src}", "{dst}"},
       "has no option '--nodat'; did you mean '--nodata'?",
       "geodem convert"},
      {{"batch", "--out-dir", "{out}", "--zom", "5", "{src}"},
       "geodem batch has no option '--zom'; did you mean '--zoom'?",
       "geodem batch"},
      {{"info", "--jsno", "{dst}"},
       "geodem info has no option '--jsno'; did you mean '--json'?",
       "geodem info"},
      {{"register", "--sytem"},
       "geodem register has no option '--sytem'; did you mean '--system'?",
       "geodem register"},
      {{"unregister", "--everything"},
       "geodem unregister has no option '--everything'\n",
       "geodem unregister"},
      // Numbers: decimal digits only, and a range in plain numbers.
      {{"convert", "--zoom", "4294967296", "{src}", "{dst}"},
       "--zoom must be from 1 to 2147483647, not 4294967296",
       "geodem convert"},
      {{"convert", "--zoom", "0x10", "{src}", "{dst}"},
       "--zoom must be a whole number from 1 to 2147483647, not '0x10'",
       "geodem convert"},
      {{"convert", "--zoom=", "{src}", "{dst}"}, "--zoom must be a whole number", "geodem convert"},
      {{"convert", "--block-size", "abc", "{src}", "{dst}"},
       "--block-size must be a whole number from 1 to 8192, not 'abc'",
       "geodem convert"},
      {{"convert", "--overlap", "-1", "{src}", "{dst}"},
       "--overlap must be from 0 to 8192, not -1",
       "geodem convert"},
      {{"convert", "--band", "99999999999999999999", "{src}", "{dst}"},
       "--band must be from 1 to 2147483647, not 99999999999999999999",
       "geodem convert"},
      {{"convert", "--nodata", "1.5", "{src}", "{dst}"},
       "--nodata " + wholeNoData + "'1.5'",
       "geodem convert"},
      {{"convert", "--nodata", "0x10", "{src}", "{dst}"},
       "--nodata " + wholeNoData + "'0x10'",
       "geodem convert"},
      {{"convert", "--nodata", "-1e5", "{src}", "{dst}"},
       "--nodata " + wholeNoData + "'-1e5'",
       "geodem convert"},
      {{"convert", "--nodata", "2147483648", "{src}", "{dst}"},
       "--nodata must be from -2147483648 to 2147483647, not 2147483648",
       "geodem convert"},
      {{"convert", "-p", "RASTER_NODATA=+7", "{src}", "{dst}"},
       "-p RASTER_NODATA " + wholeNoData + "'+7'",
       "geodem convert"},
      {{"convert", "-p", "DEM_ZOOM=1e2", "{src}", "{dst}"},
       "-p DEM_ZOOM must be a whole number from 1 to 2147483647, not '1e2'",
       "geodem convert"},
      {{"batch", "--out-dir", "{out}", "--nodata", "1.5", "{src}"},
       "--nodata " + wholeNoData + "'1.5'",
       "geodem batch"},
      {{"batch", "--out-dir", "{out}", "-j", "0", "{src}"},
       "--jobs must be from 1 to 2147483647, not 0",
       "geodem batch"},
      {{"batch", "--out-dir", "{out}", "--timeout", "0.5", "{src}"},
       "--timeout must be a whole number from 1 to 2147483647, not '0.5'",
       "geodem batch"},
      {{"info", "--nodata", " 7", "{dst}"}, "--nodata " + wholeNoData + "' 7'", "geodem info"},
      // Values, operands and arguments missing or too many.
      {{"convert", "{src}", "{dst}", "--zoom"},
       "--zoom needs a value (--zoom N)",
       "geodem convert"},
      {{"convert", "--nodata", "--zoom", "5", "{src}", "{dst}"},
       "--nodata needs a value (--nodata V)",
       "geodem convert"},
      {{"batch", "--out-dir", "{out}", "{src}", "--shard"},
       "--shard needs a value",
       "geodem batch"},
      {{"convert", "--zoom", "5", "--zoom", "6", "{src}", "{dst}"},
       "--zoom is given more than once",
       "geodem convert"},
      {{"convert"}, "geodem convert needs at least one SRC and the DST\n", "geodem convert"},
      {{"convert", "{src}"},
       "geodem convert needs at least one SRC and the DST, not only '",
       "geodem convert"},
      {{"batch", "{src}"},
       "geodem batch needs --out-dir DIR and SRC..., or --manifest FILE",
       "geodem batch"},
      {{"info"}, "geodem info needs the FILE to describe", "geodem info"},
      {{"info", "{dst}", "b.dem"},
       "geodem info takes no further argument, not 'b.dem'",
       "geodem info"},
      {{"register", "now"},
       "geodem register takes no further argument, not 'now'",
       "geodem register"},
  };
  for (const UsageCase& c : cases) {
    std::vector<std::string> args;
    std::string line;
    for (const std::string& a : c.args) {
      args.push_back(a == "{src}"   ? source
                     : a == "{dst}" ? dir_ / "out.dem"
                     : a == "{out}" ? dir_ / "out"
                                    : a);
      line += a + " ";
    }
    SCOPED_TRACE(line);
    const ProcessResult r = GeodemProcess::Geodem(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Run '" + c.help + " --help' for usage.\n"), std::string::npos) << r.err;
    EXPECT_EQ(TempDir::Entries(dir_.Path()), std::vector<std::string>{"dem.tif"});
  }
}

}  // namespace
