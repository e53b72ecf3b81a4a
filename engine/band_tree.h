#pragma once
// The links the engine walks before a report page runs: which data bands are masters and
// details, which headers, footers and group chains belong to them; and for every band the
// shift tree of objects lying directly below one another, with the shifting that moves objects
// below the ones that grew.

class TStrings;
class TpgwBand;
class TpgwReportPage;

// Links the page's bands of one orientation (Vertical) into the tree: the page's
// DependentBands or VerticalSubBands and every band's DependentBands, HeaderBand, FooterBand,
// GroupBand. Building the horizontal tree also moves objects of horizontal bands that lie
// inside a vertical band into it. Bands that fit nowhere add their keyed message and name to
// errors; the building goes on.
void BuildBandTree(TpgwReportPage& page, TStrings& errors, bool vertical);

// Fills the ShiftDependents lists of the band (its topmost objects) and of its objects. A band
// whose list is filled keeps it.
void BuildShiftTree(TpgwBand& band);

// Moves the objects below grown objects (GrowthAmount) by their ShiftMode and clears the
// growth of every object reached.
void ShiftObjects(TpgwBand& band);
