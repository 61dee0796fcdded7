#pragma once
// Where a grid file named by a national map sheet number stands against its sheet: the sheet's
// corners in degrees, and (when checked) the margin by which the grid reaches past each edge, in
// the grid's own units (negative: short of the edge).
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

    // "west +0.000", east ..." in arc-seconds, or in metres.
    std::string Text() const {
      std::string text;
      for (auto [side, value] : {std::pair{MessageText::Tr("west"), west},
                                 {MessageText::Tr("east"), east},
                                 {MessageText::Tr("north"), north},
                                 {MessageText::Tr("south"), south}}) {
        char number[48];
        std::snprintf(number, sizeof number, degrees ? "%+.3f\"" : "%+.3f m",
                      degrees ? value * 3600 : value);
        text += (text.empty() ? "" : ", ") + side + " " + number;
      }
      return text;
    }
  };
  std::optional<Margins> margins;  // none when coverage was not checked
};
