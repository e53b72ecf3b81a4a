#pragma once
// The export filters' start-up: their string table joins the report generator's texts.

// Registers the module's start-up (once; later calls change nothing).
void RegisterExportModule();
