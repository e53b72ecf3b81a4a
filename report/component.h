#pragma once
// The report object tree: TpgwComponent (owner and parent, ordered children, geometry in report
// units, a font that can follow the parent's, unique names, lookup by name, loading and saving
// through the template serializer), its drawable and dialog specialisations, and the report
// root as the tree sees it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/component.h"
#include "platform/core/string_list.h"
#include "platform/core/variant.h"
#include "platform/graphics/font.h"
#include "report/utils.h"

class TCanvas;
class TStream;
class TWinControl;
class TpgwCustomDatabase;
class TpgwCustomReport;
class TpgwDataSet;
class TpgwXMLSerializer;

// Design-time restrictions, as a set of TpgwRestriction (bit 1 << ordinal).
enum TpgwRestriction : std::uint8_t {
    rfDontModify,
    rfDontSize,
    rfDontMove,
    rfDontDelete,
    rfDontEdit
};
using TpgwRestrictions = std::uint8_t;
const TTypeInfo& TpgwRestrictionsType();

// What the rest of the system may do with an object (ObjectTraits bits).
struct TpgwObjectTraits {
    static constexpr std::uint8_t HoldsObjects = 1;   // the designer drops objects into it
    static constexpr std::uint8_t ShownInPreview = 2; // copied into prepared pages
    static constexpr std::uint8_t DiffAgainstDefault =
        4; // prepared pages diff it against a default instance
};

// Child alignment of views (the Align property that views publish).
enum TpgwAlign : std::uint8_t { baNone, baLeft, baRight, baCenter, baWidth, baBottom, baClient };

// The declared type of string-list properties (TStrings and descendants).
const TTypeInfo& TypeInfoStrings();

// The process-wide lock of the object model, taken around template reading when the report's
// ThreadSafeMode engine option is set.
std::recursive_mutex& ObjectModelLock();

class TpgwComponent : public TComponent {
    LUMETRA_CLASS(TpgwComponent, TComponent)
public:
    // With a TpgwComponent as owner the report of that object becomes the platform owner and
    // the object becomes its child; otherwise owner is the platform owner and there is no parent.
    explicit TpgwComponent(TComponent* owner);
    ~TpgwComponent() override;

    // The designer's constructor: marks the object as created at design time.
    static TpgwComponent* CreateInDesigner(const TClassInfo& cls, TComponent* owner);

    // ---- tree
    TpgwComponent* Parent() const { return parent_; }
    virtual void SetParent(TpgwComponent* value);
    // Direct children in insertion order.
    const std::vector<TpgwComponent*>& Objects() const { return objects_; }
    // What the object contains for walks over the tree (the children in the base).
    virtual const std::vector<TpgwComponent*>& ContainedObjects() const { return objects_; }
    // Every descendant, depth first, pre-order; the object itself is not included.
    std::vector<TpgwComponent*> AllObjects() const;
    void AllObjects(std::vector<TpgwComponent*>& list) const;
    // The engine lends a band a list of objects while it outputs them (page objects on a
    // null band, the pieces of a split band); each object's parent becomes this one.
    void SetObjectList(const std::vector<TpgwComponent*>& list);
    // Gives the lent objects back to parent (none: they keep this one) and empties the list.
    void ReleaseObjectList(TpgwComponent* parent);
    // First descendant of that name (case-insensitive), or none.
    TpgwComponent* FindObject(std::string_view name) const;
    // Frees the children, except those in the platform's ancestor state (cleared instead).
    virtual void Clear();
    // Nearest report among the object and its parents, or none.
    TpgwCustomReport* Report() const;
    // Nearest page (TpgwPage and descendants) among the object and its parents, or none.
    TpgwComponent* Page() const;

    // ---- geometry, in report units
    double Left() const { return left_; }
    double Top() const { return top_; }
    double Width() const { return width_; }
    double Height() const { return height_; }
    virtual void SetLeft(double value);
    virtual void SetTop(double value);
    virtual void SetWidth(double value);
    virtual void SetHeight(double value);
    void SetBounds(double left, double top, double width, double height);
    // Position on the page: the parents' offsets summed up to a dialog page or the root.
    double AbsLeft() const;
    double AbsTop() const;

    // ---- font and visibility
    TFont* Font() const { return font_.get(); }
    virtual void SetFont(TFont* value);
    bool ParentFont() const { return parentFont_; }
    virtual void SetParentFont(bool value);
    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);
    // Published as "stored" condition of Font: only a font of its own is written.
    bool IsFontStored() const { return !parentFont_; }

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value) { groupIndex_ = value; }
    TpgwRestrictions Restrictions() const { return restrictions_; }
    void SetRestrictions(TpgwRestrictions value) { restrictions_ = value; }
    bool DesignTimeObject() const { return designTimeObject_; }
    void SetDesignTimeObject(bool value) { designTimeObject_ = value; }
    bool ReadingTemplate() const { return readingTemplate_; }
    void SetReadingTemplate(bool value) { readingTemplate_ = value; }
    bool WritingTemplate() const { return writingTemplate_; }
    void SetWritingTemplate(bool value) { writingTemplate_ = value; }
    bool DrawingForPrint() const { return drawingForPrint_; }
    void SetDrawingForPrint(bool value) { drawingForPrint_ = value; }
    bool Inherited() const { return inherited_; }
    void SetInherited(bool value) { inherited_ = value; }
    std::uint8_t ObjectTraits() const { return objectTraits_; }
    void SetObjectTraits(std::uint8_t value) { objectTraits_ = value; }
    // The stem of generated names: the class name less "Tpgw" and "View" unless set.
    const std::string& NameStem() const;
    void SetNameStem(std::string value) { nameStem_ = std::move(value); }
    const std::string& ObjectAlias() const { return objectAlias_; }
    void SetObjectAlias(std::string value) { objectAlias_ = std::move(value); }
    TpgwComponent* SourceComponent() const { return sourceComponent_; }
    void SetSourceComponent(TpgwComponent* value) { sourceComponent_ = value; }

    bool IsBeingLoaded() const { return readingTemplate_ || HasState(csLoading); }
    bool IsInherited() const { return HasState(csAncestor) || inherited_; }

    // ---- names
    // Case-only changes are not applied; a name another object of the report has raises
    // "prDupl"; an object from the ancestor report cannot be renamed.
    void SetName(const std::string& value) override;
    // NameStem followed by the first number not used in the report.
    void MakeUniqueName();
    // The data set of that user name as this object's report sees it.
    TpgwDataSet* DataSetByName(std::string_view name, TpgwDataSet* fallback = nullptr) const;

    // ---- virtual operations of report objects
    virtual void FontChanged();
    // The designer's description of the class; the base gives the class name.
    virtual std::string ClassDescription() const { return ClassName(); }
    // Places child views by their Align property.
    virtual void AlignChildren();
    virtual void PrepareForRun() {}
    // Clears the object, then reads the root element of stream into it and its children.
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream, bool saveChildren = true,
                              bool saveDefaultValues = false, bool ignoreInheritance = false);
    virtual void NotifyBandShown(TpgwComponent* /*band*/) {}
    virtual void AfterPaste() {}
    // Attribute text of what differs from reference (prepared pages).
    virtual std::string ChangedAttributes(TpgwComponent* reference);
    virtual bool AcceptObject(TpgwComponent* /*object*/) { return false; }
    virtual bool DesignMouseDown(TObject* /*sender*/, int /*x*/, int /*y*/) { return false; }
    virtual void DesignMouseMove(TObject* /*sender*/, int /*x*/, int /*y*/) {}
    virtual void DesignMouseUp(TObject* /*sender*/, int /*x*/, int /*y*/) {}

    std::string BaseChangedAttributes(TpgwComponent* reference);
    // All stored properties as the serializer writes them, then, with a reference, the
    // changed attributes against it.
    std::string FullAttributeText(TpgwComponent* reference);

    // Copies properties through a template stream (children are not copied; the target's own
    // children are replaced by none). Only from another TpgwComponent.
    void Assign(const TPersistent* source) override;
    // As Assign, with all children.
    void CopyFrom(TpgwComponent* source, bool ignoreInheritance = false);

    // The window dialog controls placed in this object stand in (a dialog page's form); none
    // in the base.
    virtual TWinControl* DialogWindow() const { return nullptr; }

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    TComponent* GetChildOwner() override { return this; }

protected:
    // Another owned object of that name raises "prDupl".
    void ValidateRename(TComponent* component, std::string_view currentName,
                        std::string_view newName) override;

private:
    void DetachFromParent();

    std::unique_ptr<TFont> font_;
    std::vector<TpgwComponent*> objects_;
    TpgwComponent* parent_ = nullptr;
    TpgwComponent* sourceComponent_ = nullptr;
    double left_ = 0;
    double top_ = 0;
    double width_ = 0;
    double height_ = 0;
    mutable std::string nameStem_;
    std::string objectAlias_;
    int groupIndex_ = 0;
    TpgwRestrictions restrictions_ = 0;
    std::uint8_t objectTraits_ = TpgwObjectTraits::ShownInPreview;
    bool parentFont_ = false;
    bool visible_ = true;
    bool designTimeObject_ = false;
    bool readingTemplate_ = false;
    bool writingTemplate_ = false;
    bool drawingForPrint_ = false;
    bool inherited_ = false;
};

// The saved rectangle of SaveForPrint.
struct TpgwSavedRect {
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
};

// Base of everything that can be drawn: views, bands, subreports, dialog objects.
class TpgwReportComponent : public TpgwComponent {
    LUMETRA_CLASS(TpgwReportComponent, TpgwComponent)
public:
    explicit TpgwReportComponent(TComponent* owner);
    ~TpgwReportComponent() override;
    static void RegisterProperties(TClassBuilder<TpgwReportComponent>& b);

    const std::string& Description() const { return description_; }
    void SetDescription(const std::string& value) { description_ = value; }
    // Script procedure names of the object's events.
    std::string OnAfterData, OnAfterPrint, OnBeforePrint, OnPreviewClick, OnPreviewDblClick;

    virtual void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
                      double offsetY) = 0;
    virtual void SaveForPrint();
    virtual void FetchData() {}
    virtual void RestoreAfterPrint();
    virtual void ExportText(std::string& /*text*/) {}
    // AbsLeft, AbsTop, AbsLeft + Width, AbsTop + Height.
    virtual TpgwRect AbsoluteRect() const;

    const TpgwSavedRect& SavedRect() const { return savedRect_; }
    TpgwComponent* SourceBand() const { return sourceBand_; }
    void SetSourceBand(TpgwComponent* band) { sourceBand_ = band; }
    // Objects that move down when this one grows (filled by the engine).
    std::vector<TpgwComponent*>& ShiftDependents() { return shiftDependents_; }
    // How much the object grew in the current preparation of its band (set by the engine).
    double GrowthAmount = 0;

private:
    std::string description_;
    TpgwSavedRect savedRect_;
    TpgwComponent* sourceBand_ = nullptr;
    std::vector<TpgwComponent*> shiftDependents_;
};

// A non-visual component placed on a dialog or data page, shown at design time as a 28 x 28
// icon. Its position travels in component streaming as "pLeft" and "pTop".
class TpgwDialogComponent : public TpgwReportComponent {
    LUMETRA_CLASS(TpgwDialogComponent, TpgwReportComponent)
public:
    explicit TpgwDialogComponent(TComponent* owner);
    ~TpgwDialogComponent() override;

    // The wrapped non-visual platform component (owned).
    TComponent* Component() const { return component_.get(); }
    void SetComponent(std::unique_ptr<TComponent> component) { component_ = std::move(component); }

    void DefineProperties(TFiler& filer) override;
    // Keeps the icon size; the icon itself is drawn by the designer.
    void Draw(TCanvas& canvas, double scaleX, double scaleY, double offsetX,
              double offsetY) override;

private:
    std::unique_ptr<TComponent> component_;
};

// The root of a report tree as the tree sees it. The report class derives from it and fills in
// the hooks; the defaults describe a report with default engine options and no ancestor.
class TpgwCustomReport : public TpgwComponent {
    LUMETRA_CLASS(TpgwCustomReport, TpgwComponent)
public:
    explicit TpgwCustomReport(TComponent* owner);
    ~TpgwCustomReport() override;

    // Sorted, duplicates ignored: messages of loading and preparing.
    TStringList& Errors() { return errors_; }
    // The serializer reading the report, while one does.
    TpgwXMLSerializer* CurrentSerializer() const { return currentSerializer_; }
    void SetCurrentSerializer(TpgwXMLSerializer* serializer) { currentSerializer_ = serializer; }

    virtual bool ThreadSafeMode() const { return false; }
    virtual bool UseGlobalDataSetList() const { return true; }
    // The data set of the report's DataSets item of that name, or none.
    virtual TpgwDataSet* GetDataset(std::string_view /*alias*/) const { return nullptr; }
    // The ancestor report's object standing for name (the ancestor itself for the report's own
    // name), or none.
    virtual TPersistent* GetAncestor(std::string_view /*name*/) { return nullptr; }
    // Whether the report's children travel in platform component streaming.
    virtual bool StoreInDFM() const { return true; }

    // Runs the script procedure an object's event names (nothing for an empty name), with the
    // sender, or with parameters the procedure may change. runWhenNotRunning: also while no
    // report run is going on. Nothing happens in the base, which has no script.
    virtual void CallScriptEvent(const std::string& /*procedure*/, TpgwComponent* /*sender*/,
                                 bool /*runWhenNotRunning*/) {}
    virtual void CallScriptEventWithParams(const std::string& /*procedure*/,
                                           std::vector<Variant>& /*params*/,
                                           bool /*runWhenNotRunning*/) {}
    // The value of an expression in the report's script (the expressions of bracketed texts).
    // Without a script there is nothing to evaluate: Null.
    virtual Variant Calc(const std::string& /*expression*/) { return Variant::Null(); }
    // Makes view the object that expressions evaluated during its output refer to as "self".
    virtual void SetSelfValue(TpgwComponent* /*view*/) {}
    // The script variable "Value": the value an object shows, for its highlight condition.
    virtual void SetScriptValue(const Variant& /*value*/) {}
    // Whether a run rebuilds dialog forms from the template afterwards (engine option).
    virtual bool DestroyForms() const { return true; }
    // Shows text in the progress line (dialog-control hints).
    virtual void ShowProgressText(const std::string& /*text*/, bool /*show*/) {}

    // Host events around the connections of the report's databases.
    std::function<void(TpgwCustomDatabase* database, bool& connected)> OnBeforeConnect;
    std::function<void(TpgwCustomDatabase* database)> OnAfterDisconnect;

private:
    TStringList errors_;
    TpgwXMLSerializer* currentSerializer_ = nullptr;
};
