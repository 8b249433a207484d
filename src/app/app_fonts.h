#pragma once
// The windows were laid out for Windows' Arial and Tahoma. Elsewhere, faces
// with the same metrics stand in for them, so every text fits its space.
#include <QString>

// Makes "Arial" and "Tahoma" resolve to those faces or to ones of the same
// widths (Liberation Sans; DejaVu Sans Condensed) where the machine lacks
// them. Call
// once the application object exists, before any window is made.
void UseDesignFonts();

// The family the program gets for a requested one.
QString ResolvedFamily(const QString &requested);
