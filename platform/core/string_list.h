#pragma once
// TStrings and TStringList: lists of UTF-8 lines, each with an attached object pointer, with
// name=value access, delimited text and loading/saving in a code page.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/object.h"
#include "platform/core/persistent.h"
#include "platform/core/text.h"

class TStream;

enum TDuplicates { dupIgnore, dupAccept, dupError };

// The abstract list. Subclasses supply storage (Count, Get, InsertObject, Delete, Clear and,
// when they keep objects, GetObject/PutObject); everything else is built on those.
class TStrings : public TPersistent {
    LUMETRA_CLASS(TStrings, TPersistent)
public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    virtual int Count() const = 0;
    std::string Strings(int index) const { return Get(index); }
    void SetStrings(int index, std::string_view s) { Put(index, s); }
    TObject* Objects(int index) const { return GetObject(index); }
    void SetObjects(int index, TObject* object) { PutObject(index, object); }

    // Returns the index the line went to (a sorted list decides it).
    int Add(std::string_view s) { return AddObject(s, nullptr); }
    virtual int AddObject(std::string_view s, TObject* object);
    void Insert(int index, std::string_view s) { InsertObject(index, s, nullptr); }
    virtual void InsertObject(int index, std::string_view s, TObject* object) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);
    void AddStrings(const TStrings& strings);
    // Replaces the lines and objects with those of source.
    virtual void Assign(const TStrings& source);
    void Assign(const TPersistent* source) override;
    // The lines travel in component streams as the defined property "Strings".
    void DefineProperties(TFiler& filer) override;

    // -1 when missing. Lines compare as CompareStrings does (case-insensitive by default).
    virtual int IndexOf(std::string_view s) const;
    int IndexOfName(std::string_view name) const;
    int IndexOfObject(const TObject* object) const;

    // name=value lines. Names(i) is "" for a line without the separator; Values of a missing
    // name is ""; SetValues(name, "") deletes the line.
    std::string Names(int index) const;
    std::string Values(std::string_view name) const;
    void SetValues(std::string_view name, std::string_view value);
    std::string ValueFromIndex(int index) const;
    void SetValueFromIndex(int index, std::string_view value);
    char NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }

    // Every line followed by LineBreak(). SetText splits on CR LF, LF or CR; a break at the end
    // adds no empty line.
    std::string Text() const;
    virtual void SetText(std::string_view text);
    const std::string& LineBreak() const { return lineBreak_; }
    void SetLineBreak(std::string_view lineBreak) { lineBreak_ = lineBreak; }

    // Items joined by Delimiter; an item holding a blank, a control character, the quote or the
    // delimiter is quoted, with the quote doubled inside. Reading splits on the delimiter and on
    // unquoted blanks. CommaText is the same with ',' and '"'.
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view text);
    std::string CommaText() const;
    void SetCommaText(std::string_view text);
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char c) { delimiter_ = c; }
    char QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char c) { quoteChar_ = c; }

    // Nested; change notifications are held back until the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // Bytes are read in codePage unless they start with a UTF-8 or UTF-16 LE/BE byte order mark,
    // which wins. Bytes not valid in the code page raise EEncodingError and leave the list as it
    // was. Saving in 65001 (UTF-8) writes a byte order mark first, so that a later load in any
    // code page reads it back; other code pages raise EEncodingError for characters they cannot
    // hold. SaveToFile replaces the file atomically. Paths may use "\" as separators.
    void LoadFromFile(const std::string& fileName, int codePage = kAnsiCodePage);
    void SaveToFile(const std::string& fileName, int codePage = kAnsiCodePage) const;
    void LoadFromStream(TStream& stream, int codePage = kAnsiCodePage);
    void SaveToStream(TStream& stream, int codePage = kAnsiCodePage) const;

protected:
    virtual std::string Get(int index) const = 0;
    virtual void Put(int index, std::string_view s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    virtual void SetUpdateState(bool updating);
    // <0 / 0 / >0; AnsiCompareText here.
    virtual int CompareStrings(std::string_view a, std::string_view b) const;
    // Raises EStringListError "List index out of bounds (index)".
    [[noreturn]] static void IndexError(int index);

private:
    void SetTextFromBytes(std::string_view bytes, int codePage);
    std::string JoinDelimited(char delimiter, char quote) const;
    void SplitDelimited(std::string_view text, char delimiter, char quote);

    std::string lineBreak_ = "\r\n";
    char nameValueSeparator_ = '=';
    char delimiter_ = ',';
    char quoteChar_ = '"';
    int updateCount_ = 0;
};

class TStringList;
// Compares the lines at index1 and index2: <0 / 0 / >0.
using TStringListSortCompare = std::function<int(TStringList& list, int index1, int index2)>;

class TStringList : public TStrings {
    LUMETRA_CLASS(TStringList, TStrings)
public:
    TStringList() = default;
    explicit TStringList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
    ~TStringList() override;

    int Count() const override { return static_cast<int>(items_.size()); }
    // Sorted: the line goes to its place; an equal line is kept per Duplicates (dupError raises
    // EStringListError "String list does not allow duplicates").
    int AddObject(std::string_view s, TObject* object) override;
    // Raises EStringListError "Operation not allowed on sorted list" when Sorted.
    void InsertObject(int index, std::string_view s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    void Move(int curIndex, int newIndex) override;
    int IndexOf(std::string_view s) const override;

    // Binary search of a sorted list: true when found; index is the match (the first of equal
    // lines under dupAccept) or where s would be inserted.
    virtual bool Find(std::string_view s, int& index) const;
    virtual void Sort();
    // Stable. Does nothing on a Sorted list, whose order is kept by its own comparison.
    virtual void CustomSort(const TStringListSortCompare& compare);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates value) { duplicates_ = value; }
    // Default false: lines compare with AnsiCompareText, else AnsiCompareStr.
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);
    // When true, Delete, Clear and the destructor delete the attached objects.
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool value) { ownsObjects_ = value; }

    // Fired around every change, or once around a BeginUpdate/EndUpdate block.
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    std::string Get(int index) const override;
    void Put(int index, std::string_view s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    void SetUpdateState(bool updating) override;
    int CompareStrings(std::string_view a, std::string_view b) const override;
    virtual void Changing();
    virtual void Changed();

private:
    struct Item {
        std::string text;
        TObject* object;
    };
    void CheckIndex(int index) const;
    void InsertItem(int index, std::string_view s, TObject* object);
    void SortBy(const TStringListSortCompare& compare);

    std::vector<Item> items_;
    TDuplicates duplicates_ = dupIgnore;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
};
