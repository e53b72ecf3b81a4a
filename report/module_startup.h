#pragma once
// Program start-up and shutdown in module order. Every library that fills a registry at
// start-up enters its initialisation here under its stage; StartModules runs them once, stage
// by stage (entry order within a stage), and StopModules undoes them in reverse. Nothing here
// needs a display or a printer.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TForm;
class TpgwVariables;

// The stages in the order the modules must start: foundations first.
enum class TpgwModuleStage : int {
    ObjectModel = 0,       // the report object model: lists, lock, its classes by name
    DesignerEditors = 10,  // the standard report objects, basic component and property editors
    ObjectClasses = 20,    // extra report objects, database components, the chart object
    ComponentEditors = 30, // each component editor
    ScriptBindings = 40,   // binding classes with the script engine
    ScriptLanguages = 50,  // the grammars
    Designer = 60,         // the designer class of the report
    StringTables = 70,     // localised string tables of the other modules
    ChartSeries = 80,      // the charting library's series types
    ToolbarTheme = 90,     // the toolbar library's default theme
};

struct TpgwModuleEntry {
    TpgwModuleStage Stage = TpgwModuleStage::ObjectModel;
    std::string Name;
    std::function<void()> Initialize;
    std::function<void()> Finalize; // may be empty
};

// Enters a module; a name entered before is ignored. Entries made after StartModules run at
// once (a library loaded late still starts).
void RegisterModule(TpgwModuleStage stage, std::string_view name, std::function<void()> initialize,
                    std::function<void()> finalize = {});
// Runs every entered initialisation once, in stage order. Calls nest by a counter: only the
// first starts, only the matching last StopModules stops.
void StartModules();
void StopModules();
bool ModulesStarted();
// The names of the modules in the order they started (for diagnostics and tests).
const std::vector<std::string>& StartedModules();

// The object model's own start-up and shutdown (entered as the first module).
void ObjectModelStartup();
void ObjectModelShutdown();

// The global report variables, created by the object model's start-up (or on first use).
TpgwVariables& GlobalVariables();

// The hidden form that is the window parent of dialog controls outside a dialog page and of
// the windows of the rich-text and OLE objects; made on first use (it needs the window
// system), freed by the object model's shutdown after its controls are taken off it.
TForm* SharedParentForm();

// Screen cursors the report generator installs.
inline constexpr int crHand = 150;
inline constexpr int crZoom = 151;
inline constexpr int crFormat = 152;
