// TStrings and TStringList.
#include "platform/core/string_list.h"

#include "platform/core/property_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/core/stream.h"

namespace {

bool isBlankOrControl(char ch) {
    return static_cast<unsigned char>(ch) <= ' ';
}

// Restores the update count when a change inside an update block throws.
class UpdateGuard {
public:
    explicit UpdateGuard(TStrings& list) : list_(list) { list_.BeginUpdate(); }
    ~UpdateGuard() { list_.EndUpdate(); }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;

private:
    TStrings& list_;
};

std::string quoted(std::string_view s, char quote) {
    std::string out;
    out.reserve(s.size() + 2);
    out += quote;
    for (const char ch : s) {
        out += ch;
        if (ch == quote) out += quote;
    }
    out += quote;
    return out;
}

std::u16string utf16FromBytes(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0)
        throw EEncodingError("Truncated UTF-16 text: odd number of bytes (" +
                             std::to_string(bytes.size() + 2) + " with the byte order mark)");
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t k = 0; k < units.size(); ++k) {
        const auto b0 = static_cast<unsigned char>(bytes[2 * k]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * k + 1]);
        units[k] = static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    }
    return units;
}

std::string decodeWithBom(std::string_view bytes, int codePage) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return CodePageToUtf8(bytes.substr(3), 65001);
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return Utf16ToUtf8(utf16FromBytes(bytes.substr(2), false));
    if (bytes.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(utf16FromBytes(bytes.substr(2), true));
    return CodePageToUtf8(bytes, codePage);
}

} // namespace

// ---- TStrings ----------------------------------------------------------------------------------

void TStrings::IndexError(int index) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStrings::AddObject(std::string_view s, TObject* object) {
    const int index = Count();
    InsertObject(index, s, object);
    return index;
}

void TStrings::Put(int index, std::string_view s) {
    TObject* object = GetObject(index);
    UpdateGuard guard(*this);
    PutObject(index, nullptr);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const {
    return nullptr;
}

void TStrings::PutObject(int, TObject*) {}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(std::string_view a, std::string_view b) const {
    return AnsiCompareText(a, b);
}

void TStrings::Exchange(int index1, int index2) {
    UpdateGuard guard(*this);
    const std::string s1 = Get(index1);
    TObject* o1 = GetObject(index1);
    const std::string s2 = Get(index2);
    TObject* o2 = GetObject(index2);
    Put(index1, s2);
    PutObject(index1, o2);
    Put(index2, s1);
    PutObject(index2, o1);
}

void TStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    UpdateGuard guard(*this);
    const std::string s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    if (newIndex < 0 || newIndex >= Count()) IndexError(newIndex);
    PutObject(curIndex, nullptr); // an owning list must not free what moves
    Delete(curIndex);
    InsertObject(newIndex, s, object);
}

void TStrings::AddStrings(const TStrings& strings) {
    UpdateGuard guard(*this);
    const int n = strings.Count(); // fixed first: strings may be this very list
    for (int i = 0; i < n; ++i)
        AddObject(strings.Get(i), strings.GetObject(i));
}

void TStrings::Assign(const TStrings& source) {
    if (&source == this) return;
    UpdateGuard guard(*this);
    Clear();
    AddStrings(source);
}

int TStrings::IndexOf(std::string_view s) const {
    const int n = Count();
    for (int i = 0; i < n; ++i)
        if (CompareStrings(Get(i), s) == 0) return i;
    return -1;
}

int TStrings::IndexOfName(std::string_view name) const {
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        const std::string line = Get(i);
        const std::size_t p = line.find(nameValueSeparator_);
        if (p != std::string::npos &&
            CompareStrings(std::string_view(line).substr(0, p), name) == 0)
            return i;
    }
    return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
    const int n = Count();
    for (int i = 0; i < n; ++i)
        if (GetObject(i) == object) return i;
    return -1;
}

std::string TStrings::Names(int index) const {
    std::string line = Get(index);
    const std::size_t p = line.find(nameValueSeparator_);
    if (p == std::string::npos) return {};
    line.resize(p);
    return line;
}

std::string TStrings::Values(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view name, std::string_view value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
        return;
    }
    std::string line(name);
    line += nameValueSeparator_;
    line += value;
    if (i < 0)
        Add(line);
    else
        Put(i, line);
}

// A line without the separator has no value (rather than the line less its first character).
std::string TStrings::ValueFromIndex(int index) const {
    const std::string line = Get(index);
    const std::size_t p = line.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : line.substr(p + 1);
}

void TStrings::SetValueFromIndex(int index, std::string_view value) {
    if (value.empty()) {
        Delete(index);
        return;
    }
    std::string line = Names(index);
    line += nameValueSeparator_;
    line += value;
    Put(index, line);
}

std::string TStrings::Text() const {
    std::string out;
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        out += Get(i);
        out += lineBreak_;
    }
    return out;
}

void TStrings::SetText(std::string_view text) {
    UpdateGuard guard(*this);
    Clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        Add(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r') ++end;
        if (end < text.size() && text[end] == '\n') ++end;
        start = end;
    }
}

std::string TStrings::JoinDelimited(char delimiter, char quote) const {
    const int n = Count();
    if (n == 1 && Get(0).empty()) return std::string(2, quote);
    std::string out;
    for (int i = 0; i < n; ++i) {
        const std::string s = Get(i);
        bool mustQuote = false;
        for (const char ch : s) {
            if (isBlankOrControl(ch) || ch == quote || ch == delimiter) {
                mustQuote = true;
                break;
            }
        }
        if (i > 0) out += delimiter;
        out += mustQuote ? quoted(s, quote) : s;
    }
    return out;
}

void TStrings::SplitDelimited(std::string_view text, char delimiter, char quote) {
    UpdateGuard guard(*this);
    Clear();
    const std::size_t n = text.size();
    std::size_t p = 0;
    auto skipBlanks = [&] {
        while (p < n && isBlankOrControl(text[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        std::string item;
        if (text[p] == quote) {
            // A quoted item runs to the next single quote; a doubled quote stands for one. An
            // unterminated item takes the rest of the text.
            ++p;
            while (p < n) {
                if (text[p] == quote) {
                    if (p + 1 < n && text[p + 1] == quote) {
                        item += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < n && !isBlankOrControl(text[p]) && text[p] != delimiter)
                ++p;
            item.assign(text.substr(start, p - start));
        }
        Add(item);
        skipBlanks();
        if (p < n && text[p] == delimiter) {
            if (p + 1 == n) Add("");
            ++p;
            skipBlanks();
        }
    }
}

std::string TStrings::DelimitedText() const {
    return JoinDelimited(delimiter_, quoteChar_);
}

void TStrings::SetDelimitedText(std::string_view text) {
    SplitDelimited(text, delimiter_, quoteChar_);
}

std::string TStrings::CommaText() const {
    return JoinDelimited(',', '"');
}

void TStrings::SetCommaText(std::string_view text) {
    SplitDelimited(text, ',', '"');
}

void TStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true); // still counted as outside, so OnChanging fires
    ++updateCount_;
}

void TStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TStrings::SetTextFromBytes(std::string_view bytes, int codePage) {
    // Decode fully before touching the list, so a bad file leaves it as it was.
    SetText(decodeWithBom(bytes, codePage));
}

void TStrings::LoadFromFile(const std::string& fileName, int codePage) {
    SetTextFromBytes(ReadFileBytes(fileName), codePage);
}

void TStrings::SaveToFile(const std::string& fileName, int codePage) const {
    std::string bytes = codePage == 65001 ? "\xEF\xBB\xBF" + CodePageToUtf8(Text(), 65001)
                                          : Utf8ToCodePage(Text(), codePage);
    const std::string native = ToNativePath(fileName);
    if (native.empty())
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(ENOENT));
    WriteFileAtomically(native, bytes);
}

void TStrings::LoadFromStream(TStream& stream, int codePage) {
    const std::int64_t size = stream.Size() - stream.Position();
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    SetTextFromBytes(bytes, codePage);
}

void TStrings::SaveToStream(TStream& stream, int codePage) const {
    std::string bytes = codePage == 65001 ? "\xEF\xBB\xBF" + CodePageToUtf8(Text(), 65001)
                                          : Utf8ToCodePage(Text(), codePage);
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// ---- TStringList -------------------------------------------------------------------------------

TStringList::~TStringList() {
    OnChange = nullptr;
    OnChanging = nullptr;
    if (ownsObjects_)
        for (const Item& item : items_)
            delete item.object;
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
}

void TStringList::Changing() {
    if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
    if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
    if (updating)
        Changing();
    else
        Changed();
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
    return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

std::string TStringList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].text;
}

TObject* TStringList::GetObject(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::Put(int index, std::string_view s) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(index);
    Changing();
    items_[static_cast<std::size_t>(index)].text = s;
    Changed();
}

void TStringList::PutObject(int index, TObject* object) {
    CheckIndex(index);
    Changing();
    items_[static_cast<std::size_t>(index)].object = object;
    Changed();
}

void TStringList::InsertItem(int index, std::string_view s, TObject* object) {
    Changing();
    items_.insert(items_.begin() + index, Item{std::string(s), object});
    Changed();
}

int TStringList::AddObject(std::string_view s, TObject* object) {
    int index = Count();
    if (sorted_ && Find(s, index)) {
        if (duplicates_ == dupIgnore) return index;
        if (duplicates_ == dupError)
            throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::InsertObject(int index, std::string_view s, TObject* object) {
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) IndexError(index);
    InsertItem(index, s, object);
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    TObject* object = items_[static_cast<std::size_t>(index)].object;
    items_.erase(items_.begin() + index);
    if (ownsObjects_) delete object;
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    std::vector<Item> old;
    old.swap(items_);
    if (ownsObjects_)
        for (const Item& item : old)
            delete item.object;
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    if (sorted_) throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    Changing();
    const auto first = items_.begin();
    if (curIndex < newIndex)
        std::rotate(first + curIndex, first + curIndex + 1, first + newIndex + 1);
    else
        std::rotate(first + newIndex, first + curIndex, first + curIndex + 1);
    Changed();
}

int TStringList::IndexOf(std::string_view s) const {
    if (!sorted_) return TStrings::IndexOf(s);
    int index;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
    bool found = false;
    int lo = 0;
    int hi = Count() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = CompareStrings(items_[static_cast<std::size_t>(mid)].text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (duplicates_ != dupAccept) lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

// Merge sort over a permutation: the comparison sees the list unchanged while it runs (it takes
// indices), it is stable, and a comparison that is not a strict order cannot make it run wild.
void TStringList::SortBy(const TStringListSortCompare& compare) {
    const std::size_t n = items_.size();
    if (n < 2) return;
    std::vector<int> order(n);
    for (std::size_t k = 0; k < n; ++k)
        order[k] = static_cast<int>(k);
    std::vector<int> buffer(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t a = lo;
            std::size_t b = mid;
            std::size_t out = lo;
            while (a < mid && b < hi)
                buffer[out++] = compare(*this, order[b], order[a]) < 0 ? order[b++] : order[a++];
            while (a < mid)
                buffer[out++] = order[a++];
            while (b < hi)
                buffer[out++] = order[b++];
        }
        order.swap(buffer);
    }
    std::vector<Item> sorted;
    sorted.reserve(n);
    Changing();
    for (const int k : order)
        sorted.push_back(std::move(items_[static_cast<std::size_t>(k)]));
    items_.swap(sorted);
    Changed();
}

void TStringList::Sort() {
    SortBy([](TStringList& list, int a, int b) {
        return list.CompareStrings(list.items_[static_cast<std::size_t>(a)].text,
                                   list.items_[static_cast<std::size_t>(b)].text);
    });
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
    if (!sorted_) SortBy(compare);
}

void TStringList::SetSorted(bool value) {
    if (value == sorted_) return;
    if (value) Sort();
    sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
    if (value == caseSensitive_) return;
    caseSensitive_ = value;
    if (sorted_) Sort();
}

void TStrings::Assign(const TPersistent* source) {
    if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
        Assign(*strings);
        return;
    }
    TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    filer.DefineProperty(
        "Strings",
        [this](TReader& reader) {
            std::vector<std::string> lines;
            reader.ReadListBegin();
            while (!reader.EndOfList()) lines.push_back(reader.ReadString());
            reader.ReadListEnd();
            BeginUpdate();
            try {
                Clear();
                for (const std::string& line : lines) Add(line);
            } catch (...) {
                EndUpdate();
                throw;
            }
            EndUpdate();
        },
        [this](TWriter& writer) {
            writer.WriteListBegin();
            for (int i = 0; i < Count(); ++i) writer.WriteString(Get(i));
            writer.WriteListEnd();
        },
        Count() > 0);
}
