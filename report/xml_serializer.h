#pragma once
// The template serializer: published properties to XML attribute text and back, a tree of
// report objects to XML elements and back (the ".pg3" template), the one-line object text of
// prepared pages and the clipboard, and collections kept inside the binary property stream.
//
// One serializer serves one load or one save. Reading never stops at a bad attribute or an
// unknown class: their messages collect in Errors and the rest of the template loads.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/property_stream.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"

class TCollection;
class TPropInfo;
class TpgwComponent;
class TpgwXMLItem;

// Objects whose text a template keeps in a "Text" attribute as UTF-8 (the memo views); the
// only place where a template holds UTF-8.
class TpgwTemplateTextHolder {
public:
    virtual ~TpgwTemplateTextHolder() = default;
    virtual std::u16string TemplateText() const = 0;
    virtual void SetTemplateText(std::u16string_view text) = 0;
};

// A pending reference: the property of Object is set to the object named Text once the whole
// tree is read.
struct TpgwFixupItem {
    TObject* Object = nullptr;
    const TPropInfo* Property = nullptr;
    std::string Text;
};

class TpgwXMLSerializer {
public:
    explicit TpgwXMLSerializer(TStream& stream);
    ~TpgwXMLSerializer();
    TpgwXMLSerializer(const TpgwXMLSerializer&) = delete;
    TpgwXMLSerializer& operator=(const TpgwXMLSerializer&) = delete;

    // Sorted, duplicates ignored: one line per failed attribute or unknown class.
    TStringList& Errors() { return errors_; }
    // What names are resolved against (normally the report); the first component loaded or
    // saved when not set.
    TComponent* Owner() const { return owner_; }
    void SetOwner(TComponent* owner) { owner_ = owner; }
    // Write every stored property, even at its default or its ancestor's value. Default false.
    bool WriteDefaultValues() const { return writeDefaultValues_; }
    void SetWriteDefaultValues(bool value) { writeDefaultValues_ = value; }
    // Strings are read as legacy 8-bit text (true, the default) or as UTF-8 (false). A load
    // from the stream takes the document's setting.
    bool LegacyText() const { return legacyText_; }
    void SetLegacyText(bool value) { legacyText_ = value; }
    TStream& Stream() const { return stream_; }
    // The reader of PropData; collection readers share its reference phase.
    TReader& Reader() { return reader_; }

    // Asked for the ancestor of a top-level object about to be written (inherited reports).
    std::function<void(const std::string& name, TPersistent*& ancestor)> OnQueryAncestor;

    // Attribute text of obj's stored properties (each " name=\"value\""), prefixed names for
    // nested objects; against ancestor when given.
    std::string PropertiesToXML(TPersistent* obj, const std::string& prefix, TPersistent* ancestor);
    // Applies attribute text to obj.
    void XMLToProperties(std::string_view text, TObject* obj);

    // Writes component (and, with saveChildren, its descendants) into item; with no item, into
    // a new indented document saved to the stream.
    void SaveComponent(TpgwComponent* component, bool saveChildren, TpgwXMLItem* item,
                       bool ignoreInheritance);
    // Reads the element tree of item (or of a document loaded from the stream) into root and
    // the objects below it. Malformed XML raises TpgwInvalidXMLException.
    void LoadComponent(TpgwComponent* root, TpgwXMLItem* item);

    // Class name followed by the attribute text, without Name.
    std::string ObjectToText(TpgwComponent* component);
    // A new object from a one-line text, owned by owner; none for a blank text. An unknown class
    // raises EClassNotFound.
    TpgwComponent* ObjectFromText(TComponent* owner, std::string_view text, bool skipFixups);
    // "<" + ObjectToText + "/>" to the stream.
    void WriteObjectLine(TpgwComponent* component);
    // Applies text to a collection item and resolves its references against root.
    void ReadCollectionItem(TComponent* root, TPersistent* item, std::string_view text);

    void AddFixup(TObject* obj, const TPropInfo* property, std::string text);
    // Sets every pending reference that names an object; a failing setter puts its message in
    // Errors. Then the PropData references are resolved and the list is emptied.
    void FixupReferences();
    void ClearFixups() { fixups_.clear(); }
    // Forgets the pending references of obj and of the objects nested in its properties, before
    // obj is freed.
    void DropFixups(const TObject* obj);
    void CopyFixups(std::vector<TpgwFixupItem>& list) const;

private:
    std::string referenceName(TComponent* component) const;
    void applyAttribute(std::string_view name, std::string_view value, TObject* obj);
    void applyProperty(const TPropInfo& info, std::string_view value, TObject& obj);
    void writeElement(TpgwComponent* component, TpgwXMLItem& item, bool top, bool saveChildren,
                      bool ignoreInheritance);
    void readChildren(TpgwXMLItem& item, TpgwComponent* parent,
                      std::vector<TpgwComponent*>& loadOrder);
    std::string definedData(TPersistent* obj);
    std::string legacyToUtf8(std::string_view bytes) const;

    TStream& stream_;
    TStringList errors_;
    std::vector<TpgwFixupItem> fixups_;
    TComponent* owner_ = nullptr;
    TMemoryStream readerStream_;
    TReader reader_;
    bool writeDefaultValues_ = false;
    bool legacyText_ = true;
};

// Properties whose setters depend on each other (a page's orientation swaps its paper sides, a
// paper width forces the custom paper size) must be written in an order that reloads to the
// same state. For cls and its descendants, the named properties are written together, in this
// order, at the place of the first of them in the property table. The nearest class's order
// wins; names the class does not publish are skipped.
void SetPropertyWriteOrder(const TClassInfo& cls, std::vector<std::string> names);
// Stored-property candidates of cls in the order the serializer writes them.
const std::vector<const TPropInfo*>& PropertyWriteOrder(const TClassInfo& cls);

// A collection kept as a defined property: while component writes a template, a list of
// nested lists each holding one long string with the item's attribute text; otherwise the class
// library's collection form.
void WriteCollectionData(TCollection& collection, TWriter& writer, TpgwComponent* component);
// Reads either form back into collection.
void ReadCollectionData(TCollection& collection, TReader& reader, TpgwComponent* component);
