#include <gtest/gtest.h>

#include <random>

#include "apps/geodem/mapsheet/SheetNumber.h"

namespace {

SheetScale Scale(long denominator) { return *SheetScale::ofDenominator(denominator); }

double Dms(int degrees, int minutes, double seconds) {
  return degrees + minutes / 60.0 + seconds / 3600.0;
}

std::string NumberOf(double lon, double lat, long denominator) {
  std::string error;
  auto sheet = SheetNumber::Containing(lon, lat, Scale(denominator), error);
  return sheet ? sheet->text() : "error: " + error;
}

// Worked examples of textbooks and survey courses: 39°09' N 116°03' E is J50, J50B001001,
// J50D003005, J50E006009; 39°54'30" N 116°28'25" E (Beijing) is J-50-5-B in the old numbering,
// the 1:50 000 sheet J50E001010 in the new; 27°56' N 112°46' E is G49, 29°49'27" N
// 106°25'30" E H48, 39°54'30" N 122°28'25" E J51. The Beijing point's other scales follow
// from the same formulas by hand.
TEST(SheetNumber, KnownPointsAtEveryScale) {
  struct Case {
    double lon, lat;
    long denominator;
    const char* number;
  } cases[] = {
      {Dms(116, 3, 0), Dms(39, 9, 0), 1000000, "J50"},
      {Dms(116, 3, 0), Dms(39, 9, 0), 500000, "J50B001001"},
      {Dms(116, 3, 0), Dms(39, 9, 0), 100000, "J50D003005"},
      {Dms(116, 3, 0), Dms(39, 9, 0), 50000, "J50E006009"},
      {Dms(112, 46, 0), Dms(27, 56, 0), 1000000, "G49"},
      {Dms(106, 25, 30), Dms(29, 49, 27), 1000000, "H48"},
      {Dms(122, 28, 25), Dms(39, 54, 30), 1000000, "J51"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 250000, "J50C001002"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 100000, "J50D001005"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 50000, "J50E001010"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 25000, "J50F002020"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 10000, "J50G003040"},
      {Dms(116, 28, 25), Dms(39, 54, 30), 5000, "J50H005080"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NumberOf(c.lon, c.lat, c.denominator), c.number) << c.number;
}

TEST(SheetNumber, ExtentOfANumberIsTheSheetsCorners) {
  std::string error;
  auto sheet = SheetNumber::Parse("J50E001010", error);
  ASSERT_TRUE(sheet) << error;
  SheetExtent e = sheet->extent();
  EXPECT_DOUBLE_EQ(e.west, 116.25);
  EXPECT_DOUBLE_EQ(e.east, 116.5);
  EXPECT_DOUBLE_EQ(e.south, Dms(39, 50, 0));
  EXPECT_DOUBLE_EQ(e.north, 40.0);
  EXPECT_EQ(sheet->scale().denominator, 50000);
  EXPECT_EQ(SheetNumber::Parse("J50", error)->extent().west, 114.0);
}

// A point on an edge belongs to the sheet north and east of it: each corner of a sheet taken
// from its extent gives back the sheet itself (south-west), or its neighbours.
TEST(SheetNumber, RoundTripOfRandomPointsAndEdges) {
  std::mt19937 random(26);
  std::uniform_real_distribution<double> lon(72, 138), lat(0, 60), within(0, 1);
  for (const SheetScale& scale : SheetScale::all()) {
    for (int i = 0; i < 2000; ++i) {
      std::string error;
      auto sheet = SheetNumber::Containing(lon(random), lat(random), scale, error);
      ASSERT_TRUE(sheet) << error;
      std::string text = sheet->text();
      auto parsed = SheetNumber::Parse(text, error);
      ASSERT_TRUE(parsed) << error;
      ASSERT_EQ(parsed->text(), text);
      SheetExtent e = parsed->extent();
      double x = e.west + within(random) * (e.east - e.west);
      double y = e.south + within(random) * (e.north - e.south);
      ASSERT_EQ(SheetNumber::Containing(x, y, scale, error)->text(), text);
      ASSERT_EQ(SheetNumber::Containing(e.west, e.south, scale, error)->text(), text);
      ASSERT_EQ(SheetNumber::Containing(e.west, y, scale, error)->text(), text);
      ASSERT_EQ(SheetNumber::Containing(x, e.south, scale, error)->text(), text);
      if (e.north < 60) {
        ASSERT_NE(SheetNumber::Containing(x, e.north, scale, error)->text(), text);
      }
      ASSERT_NE(SheetNumber::Containing(e.east, y, scale, error)->text(), text);
    }
  }
}

// The last row of a 1:1 000 000 sheet is its southern one, its last column the eastern one; the
// next point south or east is in the next 1:1 000 000 sheet.
TEST(SheetNumber, LastRowAndColumnOfAMillionSheet) {
  struct Case {
    double lon, lat;
    long denominator;
    const char* number;
  } cases[] = {
      {114.0, 36.0, 50000, "J50E024001"},       // south-west corner of J50
      {119.999, 36.0, 50000, "J50E024024"},     // its south-east sheet
      {120.0, 36.0, 50000, "J51E024001"},       // the east edge is J51's
      {114.0, 35.9999, 50000, "I50E001001"},    // just south: I50's first row
      {119.9999, 39.9999, 5000, "J50H001192"},  // north-east corner of J50
      {119.9999, 36.0, 5000, "J50H192192"},
      {Dms(116, 15, 0), Dms(39, 50, 0), 50000, "J50E001010"},
      {179.9999, 59.9999, 1000000, "O60"},
      {0.0, 0.0, 1000000, "A31"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NumberOf(c.lon, c.lat, c.denominator), c.number) << c.number;
}

TEST(SheetNumber, PointsOutsideTheGridAreRefused) {
  for (auto [lon, lat] : {std::pair{-0.5, 30.0},
                          {180.0, 30.0},
                          {116.0, -1.0},
                          {116.0, 60.0},
                          {116.0, 75.0},
                          {std::nan(""), 30.0}}) {
    std::string error = "unset";
    EXPECT_FALSE(SheetNumber::Containing(lon, lat, Scale(50000), error));
    EXPECT_NE(error.find(std::isnan(lon) ? "finite" : "outside the sheet grid"), std::string::npos)
        << error;
  }
}

TEST(SheetNumber, MalformedNumbersAreRefusedWithTheReason) {
  struct Case {
    const char* text;
    const char* reason;
  } cases[] = {
      {"", "3 characters"},
      {"J50E00101", "3 characters"},
      {"j50E001010", "in capitals"},
      {"P50", "north of 60 degrees"},
      {"J5X", "two digits"},
      {"J30", "eastern hemisphere"},
      {"J61", "eastern hemisphere"},
      {"J50A001001", "scale letter 'A'"},
      {"J50I001001", "scale letter 'I'"},
      {"J50E0O1010", "three digits"},
      {"J50E000010", "001 to 024"},
      {"J50E025001", "001 to 024"},
      {"J50B001003", "001 to 002"},
      {"J50H193001", "001 to 192"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(SheetNumber::Parse(c.text, error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
  }
  std::string error;
  for (const char* good : {"A31", "O60", "J50B002002", "J50E024024", "J50H192192", "N53E001001"})
    EXPECT_TRUE(SheetNumber::Parse(good, error)) << good << ": " << error;
}

// The sheets an area meets: an area that ends on a sheet edge does not reach into the next sheet.
TEST(SheetNumber, CoveringListsTheSheetsAnAreaMeets) {
  auto texts = [](const SheetExtent& area, long denominator) {
    std::string error, all;
    auto sheets = SheetNumber::Covering(area, Scale(denominator), error);
    if (!sheets) return "error: " + error;
    for (const SheetNumber& sheet : *sheets) all += sheet.text() + " ";
    return all;
  };
  EXPECT_EQ(texts({116.0, 39.8, 116.5, 40.0}, 50000),
            "J50E001009 J50E001010 J50E002009 J50E002010 ");
  EXPECT_EQ(texts({116.25, Dms(39, 50, 0), 116.5, 40.0}, 50000), "J50E001010 ");
  EXPECT_EQ(texts({179.0, 59.0, 180.0, 60.0}, 1000000), "O60 ");
  EXPECT_EQ(texts({116.0, 39.0, 116.0, 40.0}, 50000).substr(0, 6), "error:");
  EXPECT_EQ(texts({-1.0, 39.0, 1.0, 40.0}, 50000).substr(0, 6), "error:");
}

}  // namespace
