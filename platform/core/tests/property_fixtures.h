#pragma once
// A small class hierarchy that publishes every property kind, shared by the component,
// property and property-stream tests: TPersistent > TComponent > TTestBase > TTestView >
// TTestMemo, a font-like nested persistent and a collection item with defined properties.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/collection.h"
#include "platform/core/component.h"
#include "platform/core/properties.h"
#include "platform/core/property_stream.h"

namespace fixtures {

enum class THAlign { haLeft, haRight, haCenter };

inline const TTypeInfo& HAlignType() {
    static const TTypeInfo& t = DefineEnumType("THAlign", {"haLeft", "haRight", "haCenter"});
    return t;
}
inline const TTypeInfo& FontStylesType() {
    static const TTypeInfo& element =
        DefineEnumType("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    static const TTypeInfo& t = DefineSetType("TFontStyles", element);
    return t;
}
inline const TTypeInfo& RestrictionsType() {
    static const TTypeInfo& element = DefineEnumType(
        "TRestriction", {"rfDontModify", "rfDontSize", "rfDontMove", "rfDontDelete"});
    static const TTypeInfo& t = DefineSetType("TRestrictions", element);
    return t;
}
inline const TTypeInfo& EventNameType() {
    static const TTypeInfo& t = DefineStringType("TTestNotifyEvent");
    return t;
}

} // namespace fixtures

class TTestFont : public TPersistent {
    LUMETRA_CLASS(TTestFont, TPersistent)
public:
    TTestFont() = default;
    static void RegisterProperties(TClassBuilder<TTestFont>& b) {
        b.Add("Charset", TypeInfoFontCharset(), &TTestFont::Charset, &TTestFont::SetCharset)
            .Default(1);
        b.Add("Color", TypeInfoColor(), &TTestFont::Color, &TTestFont::SetColor).Default(0);
        b.Add("Name", &TTestFont::Name, &TTestFont::SetName);
        b.Add("Size", &TTestFont::Size, &TTestFont::SetSize).Default(10);
        b.Add("Style", fixtures::FontStylesType(), &TTestFont::Style, &TTestFont::SetStyle)
            .Default(0);
    }

    int Charset() const { return charset_; }
    void SetCharset(int v) {
        charset_ = v;
        ++changes_;
    }
    int Color() const { return color_; }
    void SetColor(int v) {
        color_ = v;
        ++changes_;
    }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& v) {
        name_ = v;
        ++changes_;
    }
    int Size() const { return size_; }
    void SetSize(int v) {
        size_ = v;
        ++changes_;
    }
    std::uint32_t Style() const { return style_; }
    void SetStyle(std::uint32_t v) {
        style_ = v;
        ++changes_;
    }
    int Changes() const { return changes_; }

    void Assign(const TPersistent* source) override {
        const auto* f = dynamic_cast<const TTestFont*>(source);
        if (!f) return TPersistent::Assign(source);
        charset_ = f->charset_;
        color_ = f->color_;
        name_ = f->name_;
        size_ = f->size_;
        style_ = f->style_;
        ++changes_;
    }

private:
    int charset_ = 1;
    int color_ = 0;
    std::string name_ = "Arial";
    int size_ = 10;
    std::uint32_t style_ = 0;
    int changes_ = 0;
};

class TTestItem : public TCollectionItem {
    LUMETRA_CLASS(TTestItem, TCollectionItem)
public:
    explicit TTestItem(TCollection* collection) : TCollectionItem(collection) {}
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    int Count() const { return count_; }
    void SetCount(int v) { count_ = v; }
    TComponent* Link() const { return link_; }
    void SetLink(TComponent* v) { link_ = v; }
    std::vector<int> Points;
    std::vector<std::uint8_t> Blob;

    void DefineProperties(TFiler& filer) override {
        filer.DefineProperty(
            "Points",
            [this](TReader& r) {
                Points.clear();
                r.ReadListBegin();
                while (!r.EndOfList())
                    Points.push_back(r.ReadInteger());
                r.ReadListEnd();
            },
            [this](TWriter& w) {
                w.WriteListBegin();
                for (int p : Points)
                    w.WriteInteger(p);
                w.WriteListEnd();
            },
            !Points.empty());
        filer.DefineBinaryProperty(
            "Blob",
            [this](TStream& s) {
                Blob.resize(static_cast<std::size_t>(s.Size()));
                s.ReadBuffer(Blob.data(), s.Size());
            },
            [this](TStream& s) {
                s.WriteBuffer(Blob.data(), static_cast<std::int64_t>(Blob.size()));
            },
            !Blob.empty());
    }

private:
    // Private on purpose: the metadata still finds it.
    static void RegisterProperties(TClassBuilder<TTestItem>& b) {
        b.Add("Caption", &TTestItem::Caption, &TTestItem::SetCaption);
        b.Add("Count", &TTestItem::Count, &TTestItem::SetCount);
        b.Add("Link", &TTestItem::Link, &TTestItem::SetLink);
    }

    std::string caption_;
    int count_ = 0;
    TComponent* link_ = nullptr;
};

class TTestBase : public TComponent {
    LUMETRA_CLASS(TTestBase, TComponent)
public:
    explicit TTestBase(TComponent* owner)
        : TComponent(owner), font_(std::make_unique<TTestFont>()) {}
    static void RegisterProperties(TClassBuilder<TTestBase>& b) {
        b.Add("Left", TypeInfoExtended(), &TTestBase::Left, &TTestBase::SetLeft);
        b.Add("Visible", &TTestBase::Visible, &TTestBase::SetVisible).Default(1);
        b.Add("Font", &TTestBase::Font, &TTestBase::SetFont).Stored(&TTestBase::IsFontStored);
        b.Add("ParentFont", &TTestBase::ParentFont, &TTestBase::SetParentFont)
            .Default(1)
            .Stored([](TObject& o) { return static_cast<TTestBase&>(o).Visible(); });
    }
    double Left() const { return left_; }
    virtual void SetLeft(double v) {
        left_ = v;
        ++leftSets_;
    }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; }
    TTestFont* Font() const { return font_.get(); }
    void SetFont(TTestFont* f) {
        font_->Assign(f);
        parentFont_ = false;
    }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool v) { parentFont_ = v; }
    bool IsFontStored() const { return !parentFont_; }
    int LeftSets() const { return leftSets_; }

private:
    double left_ = 0;
    int leftSets_ = 0;
    bool visible_ = true;
    std::unique_ptr<TTestFont> font_;
    bool parentFont_ = true;
};

class TTestView : public TTestBase {
    LUMETRA_CLASS(TTestView, TTestBase)
public:
    explicit TTestView(TComponent* owner) : TTestBase(owner) {}
    ~TTestView() override { SetLink(nullptr); }
    static void RegisterProperties(TClassBuilder<TTestView>& b) {
        using fixtures::THAlign;
        b.Add("HAlign", fixtures::HAlignType(), &TTestView::HAlign, &TTestView::SetHAlign)
            .Default(0);
        b.Add("Restrictions", fixtures::RestrictionsType(), &TTestView::Restrictions,
              &TTestView::SetRestrictions)
            .Default(0);
        b.Add("Color", TypeInfoColor(), &TTestView::Color, &TTestView::SetColor).Default(0xFFFFFF);
        b.Add("Created", TypeInfoDateTime(), &TTestView::Created, &TTestView::SetCreated);
        b.Add("Letter", &TTestView::Letter, &TTestView::SetLetter);
        b.Add("WLetter", &TTestView::WLetter, &TTestView::SetWLetter);
        b.Add("Caption", &TTestView::Caption, &TTestView::SetCaption);
        b.Add("Value", &TTestView::Value, &TTestView::SetValue);
        b.Add("Big", &TTestView::Big, &TTestView::SetBig).Default(0);
        b.Add("Link", &TTestView::Link, &TTestView::SetLink);
        b.Add("OnBeforePrint", fixtures::EventNameType(), &TTestView::OnBeforePrint,
              &TTestView::SetOnBeforePrint);
        b.AddMethod("OnChange", "TNotifyEvent");
        b.Add("OnClick", DefineMethodType("TNotifyEvent"), &TTestView::OnClick,
              &TTestView::OnClick);
        b.Add("ObjectCount", &TTestView::ObjectCount, nullptr);
        b.Publish("Tag").Default(7);
    }
    fixtures::THAlign HAlign() const { return halign_; }
    void SetHAlign(fixtures::THAlign v) { halign_ = v; }
    std::uint32_t Restrictions() const { return restrictions_; }
    void SetRestrictions(std::uint32_t v) { restrictions_ = v; }
    int Color() const { return color_; }
    void SetColor(int v) { color_ = v; }
    double Created() const { return created_; }
    void SetCreated(double v) { created_ = v; }
    char Letter() const { return letter_; }
    void SetLetter(char v) { letter_ = v; }
    char16_t WLetter() const { return wletter_; }
    void SetWLetter(char16_t v) { wletter_ = v; }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(const std::u16string& v) { caption_ = v; }
    Variant Value() const { return value_; }
    void SetValue(const Variant& v) { value_ = v; }
    std::int64_t Big() const { return big_; }
    void SetBig(std::int64_t v) { big_ = v; }
    TComponent* Link() const { return link_; }
    void SetLink(TComponent* v) {
        if (v == link_) return;
        if (link_) link_->RemoveFreeNotification(this);
        link_ = v;
        if (link_) link_->FreeNotification(this);
    }
    const std::string& OnBeforePrint() const { return onBeforePrint_; }
    void SetOnBeforePrint(const std::string& v) { onBeforePrint_ = v; }
    int ObjectCount() const { return 3; }
    TNotifyEvent OnClick;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component == link_) link_ = nullptr;
        TTestBase::Notification(component, operation);
    }

private:
    fixtures::THAlign halign_ = fixtures::THAlign::haLeft;
    std::uint32_t restrictions_ = 0;
    int color_ = 0xFFFFFF;
    double created_ = 0;
    char letter_ = 'A';
    char16_t wletter_ = u'B';
    std::u16string caption_;
    Variant value_;
    std::int64_t big_ = 0;
    TComponent* link_ = nullptr;
    std::string onBeforePrint_;
};

class TTestMemo : public TTestView {
    LUMETRA_CLASS(TTestMemo, TTestView)
public:
    explicit TTestMemo(TComponent* owner)
        : TTestView(owner), items_(std::make_unique<TCollection>(TTestItem::StaticClass(), this)) {}
    static void RegisterProperties(TClassBuilder<TTestMemo>& b) {
        b.Add("Items", &TTestMemo::Items, nullptr);
        b.Add("Description", &TTestMemo::Description, &TTestMemo::SetDescription);
        b.Publish("Visible").Default(0);
    }
    TCollection* Items() const { return items_.get(); }
    const std::string& Description() const { return description_; }
    void SetDescription(const std::string& v) { description_ = v; }

private:
    std::unique_ptr<TCollection> items_;
    std::string description_;
};
