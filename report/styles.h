#pragma once
// Named styles (colour, font, frame) that memo views refer to by name, the style set of a
// report, and the style sheet: a list of style sets kept in a file of its own.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/collection.h"
#include "report/utils.h"

class TFont;
class TStream;
class TStrings;
class TpgwCustomReport;

class TpgwStyleItem : public TCollectionItem {
    LUMETRA_CLASS(TpgwStyleItem, TCollectionItem)
public:
    explicit TpgwStyleItem(TCollection* collection);
    ~TpgwStyleItem() override;
    static void RegisterProperties(TClassBuilder<TpgwStyleItem>& b);

    const std::string& Name() const { return name_; }
    // A name another item of the collection has (case ignored) raises "Duplicate name".
    void SetName(const std::string& value);
    TColor Color() const { return color_; }
    void SetColor(TColor value) { color_ = value; }
    TFont* Font() const { return font_.get(); }
    void SetFont(TFont* value);
    // The frame object of the views (none until its class is registered, see FrameFactory).
    TPersistent* Frame() const { return frame_.get(); }
    void SetFrame(TPersistent* value);

    // "Style" followed by the smallest number no other item uses.
    void MakeUniqueName();
    void Assign(const TPersistent* source) override;
    std::string DisplayName() const override { return name_; }

    // Makes the frame of new items. The default creates the class registered as "TpgwFrame".
    using FrameFactory = std::function<std::unique_ptr<TPersistent>()>;
    static FrameFactory SetFrameFactory(FrameFactory factory);

private:
    std::string name_;
    TColor color_;
    std::unique_ptr<TFont> font_;
    std::unique_ptr<TPersistent> frame_;
};

class TpgwStyles : public TCollection {
    LUMETRA_CLASS(TpgwStyles, TCollection)
public:
    // A set of a report, or (none) a set of a style sheet.
    explicit TpgwStyles(TpgwCustomReport* report = nullptr);
    ~TpgwStyles() override;

    TpgwCustomReport* Report() const { return report_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value) { name_ = value; }

    TpgwStyleItem* Add();
    TpgwStyleItem* Items(int index) const;
    TpgwStyleItem* Find(std::string_view name) const;
    void GetList(TStrings& list) const;

    // A document whose root is not "style" leaves the set empty.
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& stream);
    // Atomic: the file is the old one or the complete new one.
    void SaveToFile(const std::string& fileName);
    void SaveToStream(TStream& stream);

    // Re-applies each memo's style by name; memos naming a style not in the set lose it.
    void Apply();

    void Assign(const TPersistent* source) override;

private:
    TpgwCustomReport* report_;
    std::string name_;
};

class TpgwStyleSheet {
public:
    TpgwStyleSheet();
    ~TpgwStyleSheet();
    TpgwStyleSheet(const TpgwStyleSheet&) = delete;
    TpgwStyleSheet& operator=(const TpgwStyleSheet&) = delete;

    TpgwStyles* Add();
    int Count() const { return static_cast<int>(items_.size()); }
    TpgwStyles* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }
    void Delete(int index);
    void Clear();
    TpgwStyles* Find(std::string_view name) const;
    void GetList(TStrings& list) const;

    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& stream);
    void SaveToFile(const std::string& fileName);
    void SaveToStream(TStream& stream);

private:
    std::vector<std::unique_ptr<TpgwStyles>> items_;
};
