// The record: vinyl with its grooves and sheen, the paper label and its print, the spindle. Shared by
// the photograph (seen at an angle) and the icon (seen from straight above).
#pragma once

#include "paint.h"

#include <array>

namespace pictures {

struct Disc {
    View view;                  // where the spindle is and how the record plane is seen
    double recordRadius;        // table units
    double labelRadius;         // table units
    double grooveOuter;         // the grooved band runs from grooveInner to grooveOuter
    double grooveInner;         //
    double pitch;               // distance of neighbouring grooves
    std::array<double, 8> gaps; // radii of the quiet bands between tracks (gapCount used)
    int gapCount;               //
    double gapWidth;            //
    double sheenAngle;          // table angle of the brighter of the two sheen wedges
    double sheenPeak;           // brightness of the wedges at their core
    Colour label;               // paper colour in full light
    uint32_t seed;
};

// Direction towards the key light in the table plane (upper left of the picture), unit length.
constexpr double LightU = -0.6;
constexpr double LightV = -0.8;

// Colour and coverage of the record at table point (u, v), the label included.
Rgba shadeDisc(const Disc &disc, double u, double v);

// Prints the label over the paper: rings and emblem, and with `lettering` the name and the small
// print, drawn as strokes (too small to be worth it on the icon).
void drawLabelPrint(cairo_t *cr, const Disc &disc, bool lettering);

// The spindle standing in the label's hole; `height` is how far it stands above the label.
void drawSpindle(cairo_t *cr, const Disc &disc, double radius, double height);

} // namespace pictures
