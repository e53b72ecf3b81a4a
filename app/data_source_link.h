#pragma once
// The grid's view of a data source of the data layer: the rows of its data set as display
// text. Registered once with the controls' link factories, so a TDBGrid shows a TDataSource.

#include <memory>

#include "platform/ui/data_link.h"

class TDataSource;

// The link over one data source (tests use it directly).
std::unique_ptr<TDataSourceLink> MakeDataSourceLink(TDataSource* source);

// Registers the factory (once per process; later calls do nothing).
void RegisterDataSourceLinks();
