#pragma once
// Reseller branding: a reseller places DBRDATA.DAT (the scrambled text of
// REVF.INI) beside the executable; its caption replaces the product name.
#include <QString>

// The reseller's caption ([REVENDA] CAPTIONPANEL), or def when none is set.
// A corrupt data file shows an error and ends the program.
QString RevendaCaptionPanel(const QString &def);
// Refreshes REVF.INI and returns its full path.
QString RevendaFile();
// Rewrites REVF.INI from DBRDATA.DAT when the data file exists. Raises KrError
// when the data file cannot be read or REVF.INI cannot be written.
void RevendaExtractFile();
