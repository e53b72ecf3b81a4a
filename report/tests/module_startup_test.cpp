// Module start-up: every registry filled in module order, once, without a display.

#include "report/module_startup.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/persistent.h"
#include "report/abstract_bases.h"
#include "report/registries.h"
#include "report/report.h"
#include "report/band.h"
#include "report/tests/rc_doubles.h"
#include "report/variables.h"

namespace {

class TStartupFilter : public TpgwCustomExportFilter {
    LUMETRA_CLASS(TStartupFilter, TpgwCustomExportFilter)
public:
    explicit TStartupFilter(TComponent* owner) : TpgwCustomExportFilter(owner) {}
    void WriteItem(TpgwComponent*) override {}
};

class TStartupWizard : public TpgwCustomWizard {
    LUMETRA_CLASS(TStartupWizard, TpgwCustomWizard)
public:
    explicit TStartupWizard(TComponent* owner) : TpgwCustomWizard(owner) {}
    bool Execute() override { return false; }
};

class TStartupEditor : public TPersistent {
    LUMETRA_CLASS(TStartupEditor, TPersistent)
};

TEST(ModuleStartup, RunsEveryModuleOnceInStageOrder) {
    // The entries stay in the module list for the life of the process.
    static std::vector<std::string> log;
    static std::unique_ptr<TComponent> filterOwner;
    auto entry = [](TpgwModuleStage stage, const char* name, std::function<void()> work) {
        RegisterModule(
            stage, name,
            [name, work] {
                log.push_back(name);
                if (work) work();
            },
            [name] { log.push_back(std::string("~") + name); });
    };
    // Entered out of order, as libraries happen to be linked.
    entry(TpgwModuleStage::ToolbarTheme, "t.theme", nullptr);
    entry(TpgwModuleStage::Designer, "t.designer", [] {
        DesignerClass() = [](TComponent*, TpgwReport*, bool) -> TpgwCustomDesigner* {
            return nullptr;
        };
    });
    entry(TpgwModuleStage::ObjectClasses, "t.crossview",
          [] { GetRegisteredObjects().RegisterObject(TRcMemo::StaticClass()); });
    entry(TpgwModuleStage::DesignerEditors, "t.editors", [] {
        GetRegisteredObjects().RegisterObject(TpgwMasterData::StaticClass());
        GetPropertyEditors().Register(nullptr, &TRcMemo::StaticClass(), "Style",
                                      &TStartupEditor::StaticClass());
    });
    entry(TpgwModuleStage::ComponentEditors, "t.compeditor", [] {
        GetComponentEditors().Register(TRcMemo::StaticClass(), TStartupEditor::StaticClass());
    });
    entry(TpgwModuleStage::ScriptBindings, "t.binding", nullptr);
    entry(TpgwModuleStage::ScriptLanguages, "t.grammar", nullptr);
    entry(TpgwModuleStage::StringTables, "t.strings",
          [] { GetWizards().Register(TStartupWizard::StaticClass(), 1); });
    entry(TpgwModuleStage::ChartSeries, "t.series", [] {
        filterOwner = std::make_unique<TComponent>(nullptr);
        new TStartupFilter(filterOwner.get());
    });
    const int filtersBefore = GetExportFilters().Count();

    StartModules();
    StartModules(); // nested: no second start
    EXPECT_EQ(log, (std::vector<std::string>{"t.editors", "t.crossview", "t.compeditor",
                                             "t.binding", "t.grammar", "t.designer", "t.strings",
                                             "t.series", "t.theme"}));
    const auto& started = StartedModules();
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started.front(), "pgwClass");
    EXPECT_NE(GetClass("TpgwReport"), nullptr);
    EXPECT_NE(GetClass("TpgwStyleItem"), nullptr);
    EXPECT_TRUE(static_cast<bool>(DesignerClass()));
    EXPECT_EQ(GetExportFilters().Count(), filtersBefore + 1);
    EXPECT_NE(GetComponentEditors().GetComponentEditorClass(TRcMemo(nullptr)), nullptr);
    bool wizard = false;
    for (int i = 0; i < GetWizards().Count(); ++i)
        wizard = wizard || GetWizards().Items(i).WizardClass == &TStartupWizard::StaticClass();
    EXPECT_TRUE(wizard);
    GlobalVariables().SetVariables("Site", Variant(std::string("'North'")));

    // A module entered late starts at once.
    entry(TpgwModuleStage::ObjectClasses, "t.late", nullptr);
    EXPECT_EQ(log.back(), "t.late");

    log.clear();
    StopModules();
    EXPECT_TRUE(log.empty()) << "the outer start is still running";
    StopModules();
    EXPECT_EQ(log.front(), "~t.late");
    EXPECT_EQ(log.back(), "~t.editors");
    EXPECT_FALSE(ModulesStarted());
    EXPECT_EQ(GlobalVariables().Count(), 0) << "the global variables went with the module";
    DesignerClass() = nullptr;
    GetComponentEditors();
    filterOwner.reset();
}

} // namespace
