#pragma once
// Where a grid file named by a national map sheet number stands against its sheet: the sheet's
// corners in degrees, and (when checked) the margin by which the grid reaches past each edge, in
// the grid's own units (negative: short of the edge).
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "apps/geodem/mapsheet/SheetExtent.h"
#include "messages/MessageText.h"

struct SheetPlacement {
  std::string number;
  SheetExtent extent;  // degrees
  struct Margins {
    double west = 0, east = 0, north = 0, south = 0;
    bool degrees = false;  // else the units of the file's coordinate system (metres)
    // West, east, north, south: how far the header lets each edge be from where it is stated.
    std::array<double, 4> tolerance{};

    // "west +0.000\", east -0.004120\" ..." in arc-seconds, or in metres: a margin within its
    // tolerance as none, any other with the decimals that show it.
    std::string Text() const {
      std::string text;
      int side = 0;
      for (auto [name, value] : {std::pair{MessageText::Tr("west"), west},
                                 {MessageText::Tr("east"), east},
                                 {MessageText::Tr("north"), north},
                                 {MessageText::Tr("south"), south}}) {
        const double shown = std::fabs(value) <= tolerance[side++] ? 0 : degrees ? value * 3600 : value;
        char number[64];
        std::snprintf(number, sizeof number, degrees ? "%+.*f\"" : "%+.*f m", Decimals(shown),
                      shown);
        text += (text.empty() ? "" : ", ") + name + " " + number;
      }
      return text;
    }

    // Three, or as many as show a smaller number's first two digits (at most twelve).
    static int Decimals(double value) {
      int decimals = 3;
      if (value == 0 || std::fabs(value) >= 0.0005) return decimals;
      while (decimals < 11 && std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) ++decimals;
      return decimals + 1;
    }
  };
  std::optional<Margins> margins;  // none when coverage was not checked
};
