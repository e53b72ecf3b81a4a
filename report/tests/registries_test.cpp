// The process-wide registries of report objects, editors, export filters and wizards.

#include "report/registries.h"

#include <gtest/gtest.h>

#include "platform/core/properties.h"
#include "report/data_set.h"
#include "report/tests/tree_doubles.h"

namespace {

// Stand-ins for editor and wizard classes of later modules.
class TEditorA : public TPersistent {
    LUMETRA_CLASS(TEditorA, TPersistent)
};
class TEditorB : public TPersistent {
    LUMETRA_CLASS(TEditorB, TPersistent)
};

TEST(Registries, ObjectsRegisterOncePerSubKindWithDerivedPageKinds) {
    TpgwObjectCollection objects;
    objects.RegisterObject(TTestMemo::StaticClass());
    objects.RegisterObject(TTestMemo::StaticClass(), nullptr, 0, 3);
    objects.RegisterObject(TTestMemo::StaticClass(), nullptr, 0, 4, 1);
    objects.RegisterObject(TpgwUserDataSet::StaticClass());
    objects.RegisterObject(TpgwDialogComponent::StaticClass());
    objects.RegisterObject(TTestBand::StaticClass(), nullptr, pkReportPage | pkDotMatrixPage);
    objects.RegisterCategory("Draw", nullptr, 7, "obCatDraw");
    ASSERT_EQ(objects.Count(), 6);
    EXPECT_EQ(objects.Items(0).ImageIndex, -1);
    EXPECT_EQ(objects.Items(1).SubKind, 1);
    EXPECT_EQ(objects.Items(0).PageKinds, pkReportPage);
    EXPECT_EQ(objects.Items(2).PageKinds, pkDataPage);
    EXPECT_EQ(objects.Items(3).PageKinds, pkDialogPage);
    EXPECT_EQ(objects.Items(4).PageKinds, 10);
    EXPECT_EQ(objects.Items(5).ObjectClass, nullptr);
    EXPECT_EQ(GetClass("TTestMemo"), &TTestMemo::StaticClass()) << "registered by name too";

    objects.Unregister(TTestMemo::StaticClass());
    EXPECT_EQ(objects.Count(), 4);
}

TEST(Registries, ComponentEditorForExactClassWinsOverAncestor) {
    TpgwComponentEditorCollection editors;
    editors.Register(TTestMemo::StaticClass(), TEditorB::StaticClass());
    editors.Register(TTestView::StaticClass(), TEditorA::StaticClass());
    TTestMemo memo(nullptr);
    TTestBand band(nullptr);
    TpgwUserDataSet ds(nullptr);
    EXPECT_EQ(editors.GetComponentEditorClass(memo), &TEditorB::StaticClass());
    EXPECT_EQ(editors.GetComponentEditorClass(band), &TEditorA::StaticClass());
    EXPECT_EQ(editors.GetComponentEditorClass(ds), nullptr);
}

TEST(Registries, PropertyEditorLookup) {
    TpgwPropertyEditorCollection props;
    static const TTypeInfo& notifyEvent = DefineMethodType("TpgwNotifyEvent");
    const TTypeInfo* color = &TypeInfoColor();
    TTestMemo memo(nullptr);
    EXPECT_EQ(props.GetPropertyEditorIndex(&notifyEvent, memo, "OnClick"), -1);

    props.Register(color, nullptr, "", &TEditorA::StaticClass());        // 0: type match
    props.Register(color, nullptr, "", &TEditorB::StaticClass());        // 1: later type match
    props.Register(color, nullptr, "Special", &TEditorB::StaticClass()); // 2: type and name
    props.RegisterEventEditor(TEditorA::StaticClass());                  // 3
    EXPECT_EQ(props.GetPropertyEditorIndex(color, memo, "Color"), 0);
    EXPECT_EQ(props.GetPropertyEditorIndex(color, memo, "special"), 2);
    EXPECT_EQ(props.GetPropertyEditorIndex(&notifyEvent, memo, "OnClick"), 3);
    EXPECT_EQ(props.GetPropertyEditorIndex(&TypeInfoInteger(), memo, "Tag"), -1);

    // Hidden for a base class, whatever the type, for every descendant.
    HideProperties(TTestView::StaticClass(), "Tag;Description");
    TpgwPropertyEditorCollection& global = GetPropertyEditors();
    const int hidden = global.GetPropertyEditorIndex(&TypeInfoInteger(), memo, "tag");
    ASSERT_GE(hidden, 0);
    EXPECT_EQ(global.Items(hidden).EditorClass, nullptr);
    EXPECT_GE(global.GetPropertyEditorIndex(&TypeInfoString(), memo, "Description"), 0);
    TpgwUserDataSet ds(nullptr);
    EXPECT_EQ(global.GetPropertyEditorIndex(&TypeInfoInteger(), ds, "Tag"), -1);
}

TEST(Registries, ExportFiltersAndWizardsAreListedOnce) {
    TpgwExportFilterCollection filters;
    auto* filter = reinterpret_cast<TpgwCustomExportFilter*>(0x1000);
    filters.Register(filter);
    filters.Register(filter);
    filters.Register(nullptr);
    EXPECT_EQ(filters.Count(), 1);
    filters.Unregister(filter);
    EXPECT_EQ(filters.Count(), 0);

    TpgwWizardCollection wizards;
    wizards.Register(TEditorA::StaticClass(), 1);
    wizards.Register(TEditorA::StaticClass(), 2);
    wizards.Register(TEditorB::StaticClass(), 0);
    ASSERT_EQ(wizards.Count(), 2);
    EXPECT_EQ(wizards.Items(0).Group, 1);
    wizards.Unregister(TEditorA::StaticClass());
    EXPECT_EQ(wizards.Items(0).WizardClass, &TEditorB::StaticClass());
    EXPECT_EQ(&GetWizards(), &GetWizards());
}

} // namespace
