#pragma once
// The script engine's own small XML tree: elements with raw attribute text and children, no
// character data. It carries grammars, the intermediate language and the designer's contents
// trees.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/object.h"

class TStream;

// Attribute value to its escaped form and back; unescaping an escaped value gives the value
// again, byte for byte, whatever it holds.
std::string EscapeXMLText(std::string_view value);
std::string UnescapeXMLText(std::string_view text);

class TksXMLItem : public TObject {
public:
    TksXMLItem() = default;
    // Destroys the children, then leaves the parent's child list.
    ~TksXMLItem() override;
    TksXMLItem(const TksXMLItem&) = delete;
    TksXMLItem& operator=(const TksXMLItem&) = delete;

    void Clear();
    // Child at a 0-based index; EListError outside 0..Count-1.
    TksXMLItem* Items(int index) const;
    int Count() const { return static_cast<int>(children_.size()); }
    TksXMLItem* Add();
    // Moves an existing item (from its old parent, if any) to the end of this child list.
    void AddItem(TksXMLItem* item);
    void InsertItem(int index, TksXMLItem* item);
    // Index of the first child of that name (case-insensitive), -1 when none.
    int Find(std::string_view name) const;
    // The child that Find names; adds one of that name when there is none.
    TksXMLItem* FindItem(std::string_view name);
    TksXMLItem* Root();
    // Attribute value (unescaped), empty when absent.
    std::string Prop(std::string_view name) const;
    void SetProp(std::string_view name, std::string_view value);
    // Copies name, text and data and a deep copy of the children (source may be null).
    void Assign(const TksXMLItem* source);

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    // The raw attribute text as written in the tag, values escaped.
    const std::string& Text() const { return text_; }
    void SetText(std::string text) { text_ = std::move(text); }
    std::int32_t Data() const { return data_; }
    void SetData(std::int32_t data) { data_ = data; }
    TksXMLItem* Parent() const { return parent_; }
    // A document's root belongs to the document: it is destroyed with it and with nothing else.
    bool IsDocumentRoot() const { return documentRoot_; }

private:
    friend class TksXMLDocument;
    void Detach(TksXMLItem* child);

    std::int32_t data_ = 0;
    std::vector<TksXMLItem*> children_;
    std::string name_;
    TksXMLItem* parent_ = nullptr;
    std::string text_;
    bool documentRoot_ = false;
};

class TksXMLDocument : public TObject {
public:
    TksXMLDocument();
    ~TksXMLDocument() override;
    TksXMLDocument(const TksXMLDocument&) = delete;
    TksXMLDocument& operator=(const TksXMLDocument&) = delete;

    // Faults raise Exception("Invalid file format"); items read before the fault stay.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    // The same document format held in memory.
    void LoadFromText(std::string_view text);
    std::string SaveToText() const;

    bool IndentOutput() const { return indentOutput_; }
    void SetIndentOutput(bool value) { indentOutput_ = value; }
    TksXMLItem* Root() const { return root_.get(); }

private:
    bool indentOutput_ = false;
    std::unique_ptr<TksXMLItem> root_;
};
